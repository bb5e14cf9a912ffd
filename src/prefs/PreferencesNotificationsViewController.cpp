#include "prefs/PreferencesNotificationsViewController.h"

#include <QCheckBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <atomic>

#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudUserManager.h"
#include "cloud/NewsletterTime.h"
#include "foundation/Localization.h"
#include "menus/StoredObjectReading.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/NewsletterEmailPattern.h"
#include "prefs/PreferencesNotificationsCellView.h"
#include "service/TallowmereManager.h"
#include "sources/NodesSource.h"
#include "store/Preferences.h"
#include "window/ProgressIndicator.h"

namespace tallowmere {
namespace {

using Cell = PreferencesNotificationsCellView;

QString localized(const char* key) {
    return QString::fromStdString(
        Localization::shared()->localized(PreferencesNotificationsViewController::tableName, key));
}

const QColor verifiedColor(0x2e, 0x9d, 0x3a);
const QColor warningColor(0xd3, 0x2f, 0x2f);

// The completion of a save runs once however many ways the save ends.
PreferencesContentViewController::Completion once(PreferencesContentViewController::Completion completion) {
    auto called = std::make_shared<std::atomic<bool>>(false);
    return [called, completion = std::move(completion)] {
        if (called->exchange(true)) return;
        if (completion) completion();
    };
}

// Today at the picker's time, in the local zone.
cloud::Date dailyDate(const QTime& time) {
    const QDateTime today(QDate::currentDate(), time);
    return cloud::Date(std::chrono::milliseconds(today.toMSecsSinceEpoch()));
}

}  // namespace

PreferencesNotificationsViewController::PreferencesNotificationsViewController(QObject* parent)
    : PreferencesNotificationsViewController(Services{}, parent) {}

PreferencesNotificationsViewController::PreferencesNotificationsViewController(Services services, QObject* parent)
    : PreferencesContentViewController(parent), services_(std::move(services)) {}

PreferencesNotificationsViewController::~PreferencesNotificationsViewController() {
    feedsUpdatedObservation_.cancel();
    userEmailVerifiedObservation_.cancel();
}

std::shared_ptr<NodesSource> PreferencesNotificationsViewController::nodes() const {
    return services_.nodes ? services_.nodes : NodesSource::shared();
}
std::shared_ptr<CloudUserManager> PreferencesNotificationsViewController::user() const {
    return services_.user ? services_.user : CloudUserManager::shared();
}
std::shared_ptr<CloudNotificationsManager> PreferencesNotificationsViewController::notifications() const {
    return services_.notifications ? services_.notifications : CloudNotificationsManager::shared();
}
std::shared_ptr<TallowmereManager> PreferencesNotificationsViewController::backend() const {
    return services_.backend ? services_.backend : TallowmereManager::shared();
}
std::shared_ptr<Preferences> PreferencesNotificationsViewController::preferences() const {
    return services_.preferences ? services_.preferences : Preferences::shared();
}

void PreferencesNotificationsViewController::onMain(std::function<void(PreferencesNotificationsViewController&)> block) {
    QPointer<PreferencesNotificationsViewController> pane(this);
    dispatch::MainQueue::shared().async([pane, block = std::move(block)] {
        if (pane) block(*pane);
    });
}

// MARK: Set-up

void PreferencesNotificationsViewController::viewDidLoad() {
    user()->fetchCloudFeeds([] {});
    QPointer<PreferencesNotificationsViewController> pane(this);
    feedsUpdatedObservation_ = nodes()->observeAllFeeds([pane] {
        dispatch::MainQueue::shared().async([pane] {
            if (pane) pane->reloadFeeds();
        });
    });
    buildControls();
    fillEmail(std::nullopt);
    emailTextField_->setEnabled(authenticated_);
    userEmailVerifiedObservation_ = user()->observeEmailVerified([pane] {
        dispatch::MainQueue::shared().async([pane] {
            if (pane) pane->validateShownEmail();
        });
    });
    updateSubscriptionButton(false);

    auto* buttons = new QWidget;
    auto* buttonsLayout = new QHBoxLayout(buttons);
    buttonsLayout->setContentsMargins(0, 0, 0, 0);
    buttonsLayout->addWidget(toggleSubscriptionProgressIndicator_);
    buttonsLayout->addWidget(toggleSubscriptionButton_);
    QWidget* table = makeTable();
    QWidget* time = makeDailyTimeRow();
    refreshDailyDate();
    layOutGrid(emailTextField_, buttons, table, time);
    setPreferredContentSize({preferredContentSize().width(), preferredContentHeight});
}

void PreferencesNotificationsViewController::buildControls() {
    showNewArticleNotificationCheckBox_ = new QCheckBox(localized("show_new_article_notification"));
    showNewArticleNotificationCheckBox_->setChecked(
        preferences()->defaults().boolean(Preferences::Key::showNewArticleNotification));
    connect(showNewArticleNotificationCheckBox_, &QCheckBox::clicked, this,
            [this](bool on) { setShowNewArticleNotification(on); });

    emailTextField_ = new QLineEdit;
    emailTextField_->setEnabled(false);
    emailTextField_->setPlaceholderText(localized("email"));
    emailStatusTextField_ = new QLabel;
    emailStatusTextField_->setTextFormat(Qt::PlainText);
    toggleSubscriptionProgressIndicator_ = new ProgressIndicator;
    toggleSubscriptionProgressIndicator_->hide();
    toggleSubscriptionButton_ = new QPushButton;
    toggleSubscriptionButton_->setEnabled(false);
    connect(toggleSubscriptionButton_, &QPushButton::clicked, this, [this] { toggleSubscription(); });
}

QWidget* PreferencesNotificationsViewController::makeTable() {
    feedsTableView_ = new desktop::TableView;
    for (const char* identifier : {Cell::feedIdentifier, Cell::notificationsIdentifier, Cell::newsletterIdentifier}) {
        feedsTableView_->addTableColumn({QString::fromLatin1(identifier), localized(identifier), 110});
    }
    feedsTableView_->sizeColumnToFitTitle(1);
    feedsTableView_->setRowHeight(rowHeight);
    feedsTableView_->setDataSource(this);
    return feedsTableView_;
}

QWidget* PreferencesNotificationsViewController::makeDailyTimeRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(localized("daily_newsletter_at")));
    newsletterDailyDatePicker_ = new QTimeEdit(QTime(0, 0));
    newsletterDailyDatePicker_->setDisplayFormat(QStringLiteral("HH:mm"));
    newsletterDailyDatePicker_->setEnabled(false);
    connect(newsletterDailyDatePicker_, &QTimeEdit::timeChanged, this, [this] { newsletterTimeUpdated(); });
    layout->addWidget(newsletterDailyDatePicker_);
    layout->addStretch(1);
    return row;
}

void PreferencesNotificationsViewController::layOutGrid(QWidget* email, QWidget* buttons, QWidget* table,
                                                        QWidget* time) {
    QGridLayout* grid = gridView();
    grid->setVerticalSpacing(gridRowSpacing);
    const int columnSpacing = grid->horizontalSpacing();
    // The address field ends at the pane's middle; the table spans the pane
    // less a column spacing on each side.
    email->setFixedWidth(width / 2 - columnSpacing);
    table->setFixedSize(width - 2 * columnSpacing, feedsTableHeight);
    grid->addWidget(showNewArticleNotificationCheckBox_, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(email, 1, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(emailStatusTextField_, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(buttons, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(table, 2, 0, 1, 3);
    grid->addWidget(time, 3, 0, 1, 3, Qt::AlignLeft | Qt::AlignVCenter);
}

// MARK: Appearance

void PreferencesNotificationsViewController::updateAuthentication(std::function<void()> then) {
    QPointer<PreferencesNotificationsViewController> pane(this);
    user()->checkCloudAvailability([pane, then = std::move(then)](std::optional<bool> available) {
        const bool authenticated = available == true;
        dispatch::MainQueue::shared().async([pane, authenticated, then] {
            if (!pane) return;
            pane->authenticated_ = authenticated;
            then();
        });
    });
}

void PreferencesNotificationsViewController::viewWillAppear() {
    updateAuthentication([this] {
        updateSubscriptionButton(false);
        // Signed out or switched off since the last show: no address either.
        emailTextField_->setEnabled(authenticated_);
        refreshDailyDate();
        newsletterDailyDatePicker_->setEnabled(authenticated_);
        reloadFeeds();
    });
}

void PreferencesNotificationsViewController::viewDidAppear() {
    startSpinner();
    QPointer<PreferencesNotificationsViewController> pane(this);
    user()->getGUID([pane, backend = backend()](std::optional<std::string> guid) {
        if (!guid) {
            dispatch::MainQueue::shared().async([pane] {
                if (pane) pane->stopSpinner();
            });
            return;
        }
        dispatch::MainQueue::shared().async([pane] {
            if (pane) pane->refreshDailyDate();
        });
        backend->getUserEmail(*guid, [pane](std::optional<std::string> email, std::optional<TallowmereServiceError> error) {
            const bool subscribed = email && !email->empty();
            dispatch::MainQueue::shared().async([pane, subscribed, error] {
                if (!pane) return;
                pane->subscribed_ = subscribed;
                pane->finishSubscriptionCheck(error);
            });
        });
    });
}

void PreferencesNotificationsViewController::viewDidDisappear() { saveSettings({}); }

void PreferencesNotificationsViewController::refreshDailyDate() {
    QPointer<PreferencesNotificationsViewController> pane(this);
    user()->getNewsletterDailyDate([pane](std::optional<cloud::Date> date) {
        dispatch::MainQueue::shared().async([pane, date] {
            if (!pane) return;
            if (date) {
                if (auto time = NewsletterTime::hourMinute(*date)) {
                    // Shown, not chosen: the pane has nothing new to save.
                    const QSignalBlocker quiet(pane->newsletterDailyDatePicker_);
                    pane->newsletterDailyDatePicker_->setTime(QTime(time->hour, time->minute));
                }
            }
            pane->newsletterDailyDatePicker_->setEnabled(pane->authenticated_);
        });
    });
}

// MARK: Table

int PreferencesNotificationsViewController::numberOfRows(const desktop::TableView&) {
    return static_cast<int>(feeds_.size());
}

std::optional<Feed> PreferencesNotificationsViewController::feedAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= feeds_.size()) return std::nullopt;
    return feeds_[static_cast<std::size_t>(row)];
}

QWidget* PreferencesNotificationsViewController::viewFor(desktop::TableView& table,
                                                         const desktop::TableView::Column& column, int row) {
    auto* cell = qobject_cast<Cell*>(table.makeView(column.identifier));
    if (!cell) cell = new Cell(column.identifier, nodes());
    if (column.identifier == QLatin1String(Cell::newsletterIdentifier)) cell->setEnabled(authenticated_);
    cell->setDelegate(this);
    cell->setObjectValue(feedAt(row));
    return cell;
}

void PreferencesNotificationsViewController::reloadFeeds() {
    // One list for the whole reload: the count and the rows cannot disagree.
    feeds_ = nodes()->allFeeds();
    if (feedsTableView_) feedsTableView_->reloadData();
}

// MARK: Choices

void PreferencesNotificationsViewController::setShowNewArticleNotification(bool on) {
    preferences()->setShowNewArticleNotification(on);
    user()->checkCloudAvailability(
        [nodes = nodes(), notifications = notifications()](std::optional<bool> available) {
            if (available != true) return;
            if (std::optional<std::vector<Feed>> notifying = nodes->notifyingFeeds())
                notifications->updateNewArticleSubscription(std::move(*notifying), [] {});
        });
}

void PreferencesNotificationsViewController::newsletterTimeUpdated() { settingsChanged_ = true; }

void PreferencesNotificationsViewController::notificationUpdated(PreferencesNotificationsCellView& cell, bool enabled) {
    const std::optional<Feed> feed = cell.objectValue();
    if (!feed) return;
    settingsChanged_ = true;
    nodes()->setNotifyUpdates(*feed, enabled);
}

void PreferencesNotificationsViewController::newsletterUpdated(PreferencesNotificationsCellView& cell,
                                                               NewsletterType type) {
    const std::optional<Feed> feed = cell.objectValue();
    if (!feed) return;
    const std::size_t count = nodes()->newsletterFeedsCount();
    const int raw = readUnlessGone(*feed, 0, [&] { return static_cast<int>(feed->newsletterType()); });
    const bool currentlyNone = newsletterTypeFromRaw(raw).value_or(NewsletterType::none) == NewsletterType::none;
    if (type != NewsletterType::none && count >= newsletterFeedsLimit && currentlyNone) {
        refuseNewsletter(*feed);
        return;
    }
    settingsChanged_ = true;
    nodes()->setNewsletterType(*feed, type);
}

void PreferencesNotificationsViewController::refuseNewsletter(const Feed& feed) {
    nodes()->setNewsletterType(feed, NewsletterType::none);
    reloadFeeds();
    QMessageBox alert(view()->window());
    alert.setIcon(QMessageBox::Information);
    alert.setText(QString::fromStdString(Localization::format(
        Localization::shared()->localized(tableName, "cant_add_more_newsletters"),
        {std::to_string(newsletterFeedsLimit)})));
    alert.exec();
}

// MARK: Saving

void PreferencesNotificationsViewController::saveSettings(Completion completion) {
    completion = once(std::move(completion));
    if (!subscribed_ || !settingsChanged_) {
        completion();
        return;
    }
    settingsChanged_ = false;
    const cloud::Date date = dailyDate(newsletterDailyDatePicker_->time());
    std::shared_ptr<CloudUserManager> user = this->user();
    if (std::optional<std::vector<Feed>> notifying = nodes()->notifyingFeeds()) {
        // The subscription first; the record's lists follow it.
        notifications()->updateNewArticleSubscription(std::move(*notifying), [user, date, completion] {
            user->saveNotificationFeedLists(date, completion);
        });
        return;
    }
    user->saveNotificationFeedLists(date, completion);
}

// MARK: Newsletter address

void PreferencesNotificationsViewController::startSpinner() {
    toggleSubscriptionProgressIndicator_->show();
    toggleSubscriptionProgressIndicator_->startAnimation();
}

// Hidden while stopped.
void PreferencesNotificationsViewController::stopSpinner() {
    toggleSubscriptionProgressIndicator_->stopAnimation();
    toggleSubscriptionProgressIndicator_->hide();
}

bool PreferencesNotificationsViewController::isValidEmail(const QString& text) {
    return NewsletterEmailPattern::matches(text.toStdString());
}

void PreferencesNotificationsViewController::validateShownEmail() {
    updateEmailStatus(isValidEmail(emailTextField_->text()));
}

void PreferencesNotificationsViewController::updateEmailStatus(bool valid) {
    QPalette palette = emailStatusTextField_->palette();
    if (valid) {
        emailStatusTextField_->setVisible(subscribed_ && authenticated_);
        const bool verified = user()->emailVerified();
        emailStatusTextField_->setText(localized(verified ? "verified" : "verify"));
        palette.setColor(QPalette::WindowText, verified ? verifiedColor : warningColor);
    } else if (!emailStatusTextField_->text().isEmpty()) {
        emailStatusTextField_->setText(localized("invalid"));
        palette.setColor(QPalette::WindowText, warningColor);
        emailStatusTextField_->setVisible(true);
    } else {
        emailStatusTextField_->setVisible(false);
        emailStatusTextField_->clear();
    }
    emailStatusTextField_->setPalette(palette);
}

void PreferencesNotificationsViewController::showEmail(const std::optional<std::string>& email,
                                                       std::optional<bool> editable) {
    const bool empty = !email || email->empty();
    emailTextField_->setText(empty ? QString() : QString::fromStdString(*email));
    const bool isEditable = editable.value_or(empty || !subscribed_);
    // A locked address reads as plain text.
    emailTextField_->setReadOnly(!isEditable);
    emailTextField_->setFrame(isEditable);
    emailTextField_->setStyleSheet(isEditable ? QString() : QStringLiteral("QLineEdit { background: transparent; }"));
}

void PreferencesNotificationsViewController::fillEmail(std::optional<bool> editable) {
    QPointer<PreferencesNotificationsViewController> pane(this);
    user()->getEmail([pane, editable](std::optional<std::string> email) {
        dispatch::MainQueue::shared().async([pane, editable, email] {
            if (pane) pane->showEmail(email, editable);
        });
    });
}

void PreferencesNotificationsViewController::updateSubscriptionButton(bool enabled) {
    const auto title = [this] { return localized(subscribed_ ? "unsubscribe" : "subscribe"); };
    toggleSubscriptionButton_->setText(title());
    if (!enabled) toggleSubscriptionButton_->setEnabled(false);
    onMain([title, enabled](PreferencesNotificationsViewController& pane) {
        pane.toggleSubscriptionButton_->setText(title());
        pane.toggleSubscriptionButton_->setEnabled(pane.authenticated_ && enabled);
    });
}

void PreferencesNotificationsViewController::finishSubscriptionCheck(std::optional<TallowmereServiceError> error) {
    stopSpinner();
    // Unknown to the backend is the same as no address.
    if (error && error->code() != TallowmereServiceError::Code::userNotFound) return;
    fillEmail(std::nullopt);
    emailTextField_->setEnabled(authenticated_);
    validateShownEmail();
    updateSubscriptionButton(true);
}

void PreferencesNotificationsViewController::toggleSubscription() {
    // Ends editing in the field.
    if (QWidget* focused = view()->window()->focusWidget()) focused->clearFocus();
    fillEmail(false);
    emailTextField_->setEnabled(authenticated_);
    const std::string email = emailTextField_->text().toLower().toStdString();
    if (email.empty()) return;
    const bool valid = NewsletterEmailPattern::matches(email);
    updateEmailStatus(valid);
    if (!valid) return;
    toggleSubscriptionButton_->setEnabled(false);
    startSpinner();
    settingsChanged_ = false;
    QPointer<PreferencesNotificationsViewController> pane(this);
    user()->getGUID([pane, email](std::optional<std::string> guid) {
        dispatch::MainQueue::shared().async([pane, email, guid] {
            if (pane) pane->toggleWithGUID(email, guid);
        });
    });
}

void PreferencesNotificationsViewController::toggleWithGUID(const std::string& email,
                                                            const std::optional<std::string>& guid) {
    if (!guid) {
        finishToggle();
        return;
    }
    QPointer<PreferencesNotificationsViewController> pane(this);
    const bool wasSubscribed = subscribed_;
    const auto done = [pane](std::optional<bool> subscribed) {
        dispatch::MainQueue::shared().async([pane, subscribed] {
            if (!pane) return;
            if (subscribed) pane->subscribed_ = *subscribed;
            pane->finishToggle();
        });
    };
    user()->setEmail(email, [pane, backend = backend(), guid = *guid, email, wasSubscribed, done](bool written) {
        // The backend hears of no address the user's record does not hold.
        if (!written) return done(std::nullopt);
        if (!wasSubscribed) {
            backend->addUser(guid, email, [pane, email, done](std::optional<TallowmereServiceError> error) {
                if (!error) return done(true);
                dispatch::MainQueue::shared().async([pane, email, error] {
                    if (pane) pane->showSubscriptionFailure(email, error);
                });
                done(std::nullopt);
            });
            return;
        }
        backend->removeUser(guid, email, [done](std::optional<TallowmereServiceError> error) {
            done(error ? std::nullopt : std::optional<bool>(false));
        });
    });
}

void PreferencesNotificationsViewController::finishToggle() {
    stopSpinner();
    updateSubscriptionButton(true);
    fillEmail(std::nullopt);
    emailTextField_->setEnabled(authenticated_);
    updateEmailStatus(true);
}

void PreferencesNotificationsViewController::showSubscriptionFailure(const std::string& email,
                                                                     std::optional<TallowmereServiceError> error) {
    QMessageBox alert(view()->window());
    alert.setIcon(QMessageBox::Critical);
    alert.setText(localized("cant_subscribe_to_newsletter"));
    alert.setInformativeText(QString::fromStdString(email + ": " + (error ? error->errorDescription() : "Error")));
    alert.exec();
}

}  // namespace tallowmere
