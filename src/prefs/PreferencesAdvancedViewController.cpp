#include "prefs/PreferencesAdvancedViewController.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "foundation/Localization.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/desktop/SchemeHandlerRegistry.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/WebDataRemoval.h"
#include "reader/ReaderView.h"
#include "reader/ReaderWebStorage.h"
#include "window/PopUpButton.h"
#include "window/ProgressIndicator.h"

namespace tallowmere {
namespace {

QString localized(const char* key) {
    return QString::fromStdString(Localization::shared()->localized(PreferencesAdvancedViewController::tableName, key));
}

// A text of the table with its "%@" filled in.
QString localized(const char* key, const std::string& argument) {
    const auto localization = Localization::shared();
    return QString::fromStdString(
        Localization::format(localization->localized(PreferencesAdvancedViewController::tableName, key), {argument}));
}

QString appName() { return QString::fromStdString(AppUtils::appName()); }

// A row's second cell holding several controls side by side.
QWidget* stack(std::initializer_list<QWidget*> widgets) {
    auto* holder = new QWidget();
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* widget : widgets) layout->addWidget(widget);
    layout->addStretch(1);
    return holder;
}

// An "Exec" value as the desktop entry rules want it: quoted, with the
// characters they reserve escaped, only when it holds reserved characters
// (the desktop's tools take a bare path more readily).
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped;
    bool needsQuotes = false;
    for (const QChar c : program) {
        needsQuotes = needsQuotes || reserved.contains(c);
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            escaped += QLatin1Char('\\');
        }
        escaped += c;
        if (c == QLatin1Char('%')) escaped += c;  // a field code's sign, doubled to stand for itself
    }
    if (!needsQuotes) return escaped;
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// The entry written when the desktop knows none of the program (a program
// run where it was built): it starts this very program with the link.
QByteArray desktopEntry() {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %u\nTerminal=false\n"
                          "MimeType=x-scheme-handler/feed;\n")
        .arg(appName(), execValue(QCoreApplication::applicationFilePath()))
        .toUtf8();
}

}  // namespace

PreferencesAdvancedViewController::PreferencesAdvancedViewController(QWebEngineProfile* profile, QObject* parent)
    : PreferencesContentViewController(parent),
      profile_(profile),
      handlers_(new desktop::SchemeHandlerRegistry(this)) {}

QString PreferencesAdvancedViewController::desktopId() {
    return QString::fromUtf8(AppUtils::productIdentifier().data(),
                             static_cast<qsizetype>(AppUtils::productIdentifier().size())) +
           QStringLiteral(".desktop");
}

QComboBox* PreferencesAdvancedViewController::cloudBackingPopUp() const { return cloudBackingPopUp_; }

void PreferencesAdvancedViewController::viewDidLoad() {
    addCacheRows();
    addCloudRows();
    // The cloud account's rows make the pane taller than its first rows alone.
    const int fitted = view()->sizeHint().height() + 2 * gridSpacing;
    setPreferredContentSize({preferredContentSize().width(), std::max(height, fitted)});
}

void PreferencesAdvancedViewController::addCacheRows() {
    removeWebCachesButton_ = new QPushButton(localized("remove_web_caches"));
    removeWebCachesProgressIndicator_ = new ProgressIndicator();
    removeWebCachesProgressIndicator_->hide();  // shown only while it turns
    connect(removeWebCachesButton_, &QPushButton::clicked, this, &PreferencesAdvancedViewController::removeWebCaches);

    setAsDefaultButton_ = new QPushButton(localized("set_as_default", appName().toStdString()));
    connect(setAsDefaultButton_, &QPushButton::clicked, this, &PreferencesAdvancedViewController::setAsDefaultFeedReader);
    currentDefaultFeedReaderTextField_ = new QLabel(QString());

    addRow(new QLabel(localized("caches")), stack({removeWebCachesButton_, removeWebCachesProgressIndicator_}));
    addRow(new QLabel(localized("default_feed_reader")), setAsDefaultButton_);
    addRow(nullptr, currentDefaultFeedReaderTextField_);
}

void PreferencesAdvancedViewController::addCloudRows() {
    stored_ = CloudBackingEntry::fromSetting(defaults::UserDefaults::standard()->string(cloud::Configuration::settingKey));
    using Kind = CloudBackingEntry::Kind;
    cloudBackingPopUp_ = new PopUpButton<Kind>(
        {{"cloud_backing_none", Kind::none}, {"cloud_backing_file", Kind::localFile},
         {"cloud_backing_postgres", Kind::postgres}},
        stored_.kind, tableName, [this](Kind kind) { cloudBackingKindChosen(kind); });
    cloudBackingField_ = new QLineEdit();
    cloudBackingField_->setMinimumWidth(260);
    connect(cloudBackingField_, &QLineEdit::textEdited, this, [this] { fieldShowsStored_ = false; });
    cloudFileChooser_ = new QToolButton();
    cloudFileChooser_->setText(localized("choose_cloud_file"));
    connect(cloudFileChooser_, &QToolButton::clicked, this, &PreferencesAdvancedViewController::chooseCloudFile);
    cloudBackingApplyButton_ = new QPushButton(localized("apply"));
    connect(cloudBackingApplyButton_, &QPushButton::clicked, this, &PreferencesAdvancedViewController::applyCloudBacking);
    cloudStatusTextField_ = new QLabel(QString());
    cloudStatusTextField_->setWordWrap(true);
    cloudStatusTextField_->setMaximumWidth(width - 160);

    addRow(new QLabel(localized("cloud_backing")), cloudBackingPopUp_);
    addRow(nullptr, stack({cloudBackingField_, cloudFileChooser_, cloudBackingApplyButton_}));
    addRow(nullptr, cloudStatusTextField_);
    showStoredCloudBacking();
}

void PreferencesAdvancedViewController::viewWillAppear() {
    updateDefaultFeedReaderStatus();
    updateCloudStatus();
}

void PreferencesAdvancedViewController::removeWebCaches() {
    if (removal_ && removal_->isRunning()) return;
    removeWebCachesProgressIndicator_->show();
    removeWebCachesProgressIndicator_->startAnimation();
    removeWebCachesButton_->setEnabled(false);
    if (!removal_) {
        QWebEngineProfile* profile = profile_ ? profile_ : ReaderView::profile();
        removal_ = new WebDataRemoval(profile, ReaderWebStorage::cacheFolder(), this);
        connect(removal_, &WebDataRemoval::finished, this, [this] {
            removeWebCachesProgressIndicator_->stopAnimation();
            removeWebCachesProgressIndicator_->hide();
            removeWebCachesButton_->setEnabled(true);
        });
    }
    removal_->start();
}

void PreferencesAdvancedViewController::setAsDefaultFeedReader() {
    // The desktop names handlers by their entries: without one it could not name us.
    if (!desktop::SchemeHandlerRegistry::ensureDesktopEntry(desktopId(), desktopEntry())) {
        Logger::warning([] { return std::string("no desktop entry of the program could be found or written"); });
    }
    QPointer<PreferencesAdvancedViewController> self(this);
    handlers_->setDefaultHandler(desktopId(), QString::fromLatin1(scheme), [self](bool) {
        // The tool's own verdict is not taken: the status reads the desktop's answer again.
        dispatch::MainQueue::shared().async([self] {
            if (self) self->updateDefaultFeedReaderStatus();
        });
    });
}

void PreferencesAdvancedViewController::updateDefaultFeedReaderStatus() {
    QPointer<PreferencesAdvancedViewController> self(this);
    handlers_->defaultHandler(QString::fromLatin1(scheme), [self](std::optional<QString> handler) {
        if (!self) return;
        // The same id in another letter case names another program; no handler at all is not us either.
        const bool isDefault = handler && *handler == desktopId();
        self->currentDefaultFeedReaderTextField_->setText(
            localized(isDefault ? "is_the_default_feed_reader" : "is_not_the_default_feed_reader",
                      appName().toStdString()));
    });
}

void PreferencesAdvancedViewController::cloudBackingKindChosen(CloudBackingEntry::Kind kind) {
    if (kind == stored_.kind) {
        showStoredCloudBacking();
        return;
    }
    prepareCloudBackingField(kind);
    cloudBackingField_->clear();
    fieldShowsStored_ = false;
}

void PreferencesAdvancedViewController::prepareCloudBackingField(CloudBackingEntry::Kind kind) {
    using Kind = CloudBackingEntry::Kind;
    cloudBackingField_->setEnabled(kind != Kind::none);
    cloudFileChooser_->setVisible(kind == Kind::localFile);
    cloudBackingField_->setPlaceholderText(kind == Kind::localFile  ? localized("cloud_file_placeholder")
                                           : kind == Kind::postgres ? localized("cloud_connection_placeholder")
                                                                    : QString());
}

void PreferencesAdvancedViewController::showStoredCloudBacking() {
    using Kind = CloudBackingEntry::Kind;
    cloudBackingPopUp_->selectValue(stored_.kind);
    prepareCloudBackingField(stored_.kind);
    const std::string shown = stored_.kind == Kind::postgres ? CloudBackingEntry::masked(stored_.text) : stored_.text;
    cloudBackingField_->setText(QString::fromStdString(shown));
    fieldShowsStored_ = stored_.kind != Kind::none;
}

void PreferencesAdvancedViewController::chooseCloudFile() {
    const QString file = QFileDialog::getSaveFileName(view(), localized("choose_cloud_file"), cloudBackingField_->text(),
                                                      QString(), nullptr, QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty()) return;
    cloudBackingField_->setText(file);
    fieldShowsStored_ = false;
}

void PreferencesAdvancedViewController::applyCloudBacking() {
    const auto kind = cloudBackingPopUp_->selectedValue().value_or(CloudBackingEntry::Kind::none);
    // A field still showing the stored entry stands for it, not for its masked text.
    const std::string input =
        fieldShowsStored_ && kind == stored_.kind ? stored_.text : cloudBackingField_->text().toStdString();
    const auto outcome = CloudBackingEntry::settingText(kind, input);
    if (const auto* refusal = std::get_if<CloudBackingEntry::Refusal>(&outcome)) {
        cloudStatusTextField_->setText(localized(refusal->key.c_str(), refusal->detail));
        return;
    }
    const auto& text = std::get<std::string>(outcome);
    auto defaults = defaults::UserDefaults::standard();
    defaults->set(cloud::Configuration::settingKey, defaults::Value(text));
    if (auto issue = defaults->synchronize()) {
        cloudStatusTextField_->setText(QString::fromStdString(issue->description()));
        return;
    }
    stored_ = CloudBackingEntry::fromSetting(text);
    showStoredCloudBacking();
    cloudStatusTextField_->setText(localized("cloud_backing_applies_at_next_start", appName().toStdString()));
}

void PreferencesAdvancedViewController::updateCloudStatus() {
    auto container = cloud::Container::shared();
    QPointer<PreferencesAdvancedViewController> self(this);
    const std::string account = container->accountName();
    container->accountStatus([self, account](cloud::AccountStatus status, std::optional<cloud::Error> error) {
        QString text;
        if (status == cloud::AccountStatus::available) {
            text = localized("signed_in_as", account);
        } else if (error && status != cloud::AccountStatus::noAccount) {
            text = QString::fromStdString(error->description);
        } else {
            text = localized("not_signed_in");
        }
        dispatch::MainQueue::shared().async([self, text] {
            if (self) self->cloudStatusTextField_->setText(text);
        });
    });
}

}  // namespace tallowmere
