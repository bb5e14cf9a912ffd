#pragma once

#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults/ObserverToken.h"
#include "platform/desktop/TableView.h"
#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesNotificationsCellViewDelegate.h"
#include "service/TallowmereServiceError.h"
#include "store/Feed.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace tallowmere {

class CloudNotificationsManager;
class CloudUserManager;
class NodesSource;
class Preferences;
class ProgressIndicator;
class TallowmereManager;

// The notifications pane: the global new-article notification switch, the
// newsletter address with its subscribe button, a table of every feed with
// its notification and newsletter choice, and the daily newsletter's time.
// Feed choices are stored at once; the cloud's copies (the new-article
// subscription, the identity record's lists and time) are written when the
// pane goes away or the program quits, and only while an address is
// subscribed. All but the global switch and the notification column need
// the cloud: a signed-in user with the cloud switch on.
//
// Main thread only. Cloud and backend answers come on other threads; what
// they decide is carried to the main queue before it is stored or shown.
class PreferencesNotificationsViewController : public PreferencesContentViewController,
                                               public PreferencesNotificationsCellViewDelegate,
                                               private desktop::TableView::DataSource {
    Q_OBJECT
public:
    static constexpr const char* tableName = "PreferencesNotificationsViewController";
    static constexpr int preferredContentHeight = 350;
    static constexpr int gridRowSpacing = 12;
    static constexpr int feedsTableHeight = 216;
    static constexpr int rowHeight = 22;
    static constexpr std::size_t newsletterFeedsLimit = 10;

    // What the pane works with; empty members take the shared ones.
    struct Services {
        std::shared_ptr<NodesSource> nodes;
        std::shared_ptr<CloudUserManager> user;
        std::shared_ptr<CloudNotificationsManager> notifications;
        std::shared_ptr<TallowmereManager> backend;
        std::shared_ptr<Preferences> preferences;
    };

    explicit PreferencesNotificationsViewController(QObject* parent = nullptr);
    PreferencesNotificationsViewController(Services services, QObject* parent = nullptr);
    ~PreferencesNotificationsViewController() override;

    // Writes the cloud's copies when something changed while subscribed;
    // the completion runs exactly once either way.
    void saveSettings(Completion completion) override;

    // Cell choices.
    void notificationUpdated(PreferencesNotificationsCellView& cell, bool enabled) override;
    void newsletterUpdated(PreferencesNotificationsCellView& cell, NewsletterType type) override;

    // Whether the whole text is an address the newsletter takes.
    static bool isValidEmail(const QString& text);

    bool subscribed() const { return subscribed_; }
    bool authenticated() const { return authenticated_; }
    bool settingsChanged() const { return settingsChanged_; }

    QCheckBox* showNewArticleNotificationCheckBox() const { return showNewArticleNotificationCheckBox_; }
    QLineEdit* emailTextField() const { return emailTextField_; }
    QLabel* emailStatusTextField() const { return emailStatusTextField_; }
    ProgressIndicator* toggleSubscriptionProgressIndicator() const { return toggleSubscriptionProgressIndicator_; }
    QPushButton* toggleSubscriptionButton() const { return toggleSubscriptionButton_; }
    desktop::TableView* feedsTableView() const { return feedsTableView_; }
    QTimeEdit* newsletterDailyDatePicker() const { return newsletterDailyDatePicker_; }
    // The feeds the table shows, as taken at its last reload.
    const std::vector<Feed>& shownFeeds() const { return feeds_; }

protected:
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewDidDisappear() override;

private:
    // Table.
    int numberOfRows(const desktop::TableView& table) override;
    QWidget* viewFor(desktop::TableView& table, const desktop::TableView::Column& column, int row) override;
    std::optional<Feed> feedAt(int row) const;
    void reloadFeeds();

    // Set-up.
    void buildControls();
    QWidget* makeEmailRow();
    QWidget* makeTable();
    QWidget* makeDailyTimeRow();
    void layOutGrid(QWidget* email, QWidget* buttons, QWidget* table, QWidget* time);

    // Cloud availability, decided off the main thread and kept on it.
    void updateAuthentication(std::function<void()> then);
    void refreshDailyDate();
    void setShowNewArticleNotification(bool on);
    void newsletterTimeUpdated();
    void refuseNewsletter(const Feed& feed);

    // Newsletter address.
    void startSpinner();
    void stopSpinner();
    void updateEmailStatus(bool valid);
    void validateShownEmail();
    void showEmail(const std::optional<std::string>& email, std::optional<bool> editable);
    void fillEmail(std::optional<bool> editable);
    void updateSubscriptionButton(bool enabled);
    void checkSubscription(const std::optional<std::string>& guid);
    void finishSubscriptionCheck(std::optional<TallowmereServiceError> error);
    void toggleSubscription();
    void toggleWithGUID(const std::string& email, const std::optional<std::string>& guid);
    void finishToggle();
    void showSubscriptionFailure(const std::string& email, std::optional<TallowmereServiceError> error);

    // Runs on the main queue while the pane lives.
    void onMain(std::function<void(PreferencesNotificationsViewController&)> block);

    std::shared_ptr<NodesSource> nodes() const;
    std::shared_ptr<CloudUserManager> user() const;
    std::shared_ptr<CloudNotificationsManager> notifications() const;
    std::shared_ptr<TallowmereManager> backend() const;
    std::shared_ptr<Preferences> preferences() const;

    Services services_;
    QCheckBox* showNewArticleNotificationCheckBox_ = nullptr;
    QLineEdit* emailTextField_ = nullptr;
    QLabel* emailStatusTextField_ = nullptr;
    ProgressIndicator* toggleSubscriptionProgressIndicator_ = nullptr;
    QPushButton* toggleSubscriptionButton_ = nullptr;
    desktop::TableView* feedsTableView_ = nullptr;
    QTimeEdit* newsletterDailyDatePicker_ = nullptr;
    bool subscribed_ = false;
    bool authenticated_ = false;
    bool settingsChanged_ = false;
    std::vector<Feed> feeds_;
    defaults::ObserverToken feedsUpdatedObservation_;
    defaults::ObserverToken userEmailVerifiedObservation_;
};

}  // namespace tallowmere
