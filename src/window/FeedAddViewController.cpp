#include "window/FeedAddViewController.h"

#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "sources/NodesSource.h"
#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"

namespace tallowmere {

namespace {

// Fills its list from the sheet's folder names each time it opens.
class FolderNameComboBox : public QComboBox {
public:
    explicit FolderNameComboBox(const FeedAddViewController& sheet) : sheet_(sheet) {}

    void showPopup() override {
        const QString text = currentText();
        clear();
        for (int i = 0; i < sheet_.numberOfItems(); ++i) addItem(sheet_.objectValueForItem(i).value_or(QString()));
        setCurrentIndex(sheet_.indexOfItemWithStringValue(text));
        setEditText(text);
        QComboBox::showPopup();
    }

private:
    const FeedAddViewController& sheet_;
};

QPushButton* makeButton() {
    auto* button = new QPushButton();
    // Return belongs to the fields: neither button is the default one.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

FeedAddViewController::FeedAddViewController(std::shared_ptr<NodesSource> nodesSource, QObject* parent)
    : desktop::ViewController(parent),
      nodesSource_(std::move(nodesSource)),
      infoTextField_(new QLabel(QString::fromStdString(localized("info_text")))),
      feedURLTextField_(new QLineEdit()),
      folderNameComboBox_(new FolderNameComboBox(*this)),
      cancelButton_(makeButton()),
      addButton_(makeButton()),
      cleanStringFormatter_(new CleanStringFormatter(this)) {
    feedURLTextField_->setValidator(cleanStringFormatter_);
}

void FeedAddViewController::loadView() {
    feedURLTextField_->setPlaceholderText(QString::fromStdString(localized("website_feed_url")));
    connect(feedURLTextField_, &QLineEdit::returnPressed, this, &FeedAddViewController::focusFolderNameComboBox);

    folderNameComboBox_->setEditable(true);
    folderNameComboBox_->setInsertPolicy(QComboBox::NoInsert);
    folderNameComboBox_->setCompleter(nullptr);  // completion is the sheet's own
    folderNameComboBox_->lineEdit()->setPlaceholderText(QString::fromStdString(localized("folder")));
    folderNameComboBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(folderNameComboBox_->lineEdit(), &QLineEdit::textEdited, this, &FeedAddViewController::completeFolderName);
    connect(folderNameComboBox_->lineEdit(), &QLineEdit::returnPressed, this, &FeedAddViewController::add);

    cancelButton_->setText(QString::fromStdString(localized("cancel")));
    connect(cancelButton_, &QPushButton::clicked, this, &FeedAddViewController::cancel);
    addButton_->setText(QString::fromStdString(localized("add")));
    connect(addButton_, &QPushButton::clicked, this, &FeedAddViewController::add);

    auto* container = new QWidget();
    container->setObjectName(QStringLiteral("FeedAddView"));
    // The sheet follows the desktop's light or dark style, whatever theme was chosen.
    const QColor background =
        ThemesManager::shared().themeFor(ThemeType::automatic)->colors().windowBackground;
    QPalette palette = container->palette();
    palette.setColor(QPalette::Window, background);
    container->setPalette(palette);
    container->setAutoFillBackground(true);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(folderNameComboBox_, 1);
    buttons->addSpacing(8);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(addButton_);

    auto* stack = new QVBoxLayout(container);
    stack->setContentsMargins(edgeInsets, edgeInsets, edgeInsets, edgeInsets);
    stack->addWidget(infoTextField_);
    stack->addWidget(feedURLTextField_);
    stack->addLayout(buttons);
    container->setMinimumSize(size);
    container->resize(size);
    container->installEventFilter(this);
    setView(container);
}

bool FeedAddViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view() && event->type() == QEvent::Show && sheetWindow()) {
        // Escape (and closing the window) rejects the dialog: that is Cancel.
        connect(sheetWindow(), &QDialog::rejected, this, &FeedAddViewController::cancel, Qt::UniqueConnection);
        feedURLTextField_->setFocus();
    }
    return desktop::ViewController::eventFilter(watched, event);
}

std::vector<std::string> FeedAddViewController::folderNames() const {
    return nodesSource_ ? nodesSource_->allFolderNames() : std::vector<std::string>();
}

int FeedAddViewController::numberOfItems() const { return static_cast<int>(folderNames().size()); }

std::optional<QString> FeedAddViewController::objectValueForItem(int index) const {
    const auto names = folderNames();
    if (index < 0 || index >= static_cast<int>(names.size())) return std::nullopt;
    return QString::fromStdString(names[index]);
}

std::optional<QString> FeedAddViewController::completedString(const QString& text) const {
    const QString typed = text.toLower();
    for (const std::string& name : folderNames()) {
        const QString candidate = QString::fromStdString(name);
        if (candidate.toLower().startsWith(typed)) return candidate;
    }
    return std::nullopt;
}

int FeedAddViewController::indexOfItemWithStringValue(const QString& text) const {
    const auto names = folderNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (QString::fromStdString(names[i]) == text) return static_cast<int>(i);
    }
    return -1;
}

void FeedAddViewController::completeFolderName(const QString& typed) {
    const bool deleting = typed.size() <= lastTypedFolder_.size();
    lastTypedFolder_ = typed;
    if (typed.isEmpty() || deleting) return;
    const auto completed = completedString(typed);
    if (!completed) return;
    QLineEdit* edit = folderNameComboBox_->lineEdit();
    edit->setText(*completed);
    // The completed rest is selected, so typing on replaces it.
    edit->setSelection(static_cast<int>(completed->size()), static_cast<int>(typed.size() - completed->size()));
}

void FeedAddViewController::add() {
    if (closing_) return;
    const auto folder = CleanStringFormatter::stringForObjectValue(folderNameComboBox_->currentText());
    if (!folder) return;
    const QString url = feedURLTextField_->text();
    closing_ = true;
    sendActionToTarget(Action::addFeedFromFolder, url.toStdString(), folder->toStdString());
    close();
}

void FeedAddViewController::cancel() {
    if (closing_) return;
    closing_ = true;
    close();
}

void FeedAddViewController::close() {
    dismissSheet();
    deleteLater();  // a new sheet each time
}

void FeedAddViewController::focusFolderNameComboBox() {
    if (view()->window() && view()->window() != view()) folderNameComboBox_->setFocus(Qt::OtherFocusReason);
}

}  // namespace tallowmere
