#include <gtest/gtest.h>

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../PrefsTestSupport.h"
#include "cloud/CloudRemoteNotificationHandler.h"
#include "cloud/ContainerCloudNotificationsManager.h"
#include "cloud/ContainerCloudUserManager.h"
#include "feeds/WebService.h"
#include "menus/gui/MenuTestSupport.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/PreferencesNotificationsCellView.h"
#include "prefs/PreferencesNotificationsViewController.h"
#include "service/WebTallowmereManager.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "support/BackendStub.h"
#include "support/CloudCalls.h"
#include "support/FaultInjectingContainer.h"
#include "support/OutsideWriter.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"
#include "support/ZoneScope.h"
#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "window/ProgressIndicator.h"

namespace tallowmere::test {
namespace {

using Cell = PreferencesNotificationsCellView;
using Pane = PreferencesNotificationsViewController;
using Kind = FaultInjectingDatabase::Kind;

constexpr int kWait = 20000;
constexpr const char* kGUID = "guid-of-alice";
const std::string kUserPath = "/user_guid_mail";

graph::Bytes pngIcon(QColor colour) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return graph::Bytes(png.begin(), png.end());
}

std::string feedURL(int index) { return "https://site" + std::to_string(index) + ".example/feed"; }

// The real store with twelve feeds, the cloud on an SQLite file behind the
// fault decorator (signed in as alice, or signed out), the backend stub on
// loopback HTTPS, and the pane in a window of its own.
class NotificationsPane : public ::testing::Test {
protected:
    void SetUp() override {
        settings.preferences->setCloudEnabled(true);
        auto opened = DataController::open(dir.path() / "store" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok());
        data = opened.value();
        nodes = NodesSource::make(data);
        NodesSource::replaceShared(nodes);
        const QColor colours[] = {Qt::red, Qt::blue, QColor(0, 160, 0)};
        for (int index = 0; index < 12; ++index) {
            std::optional<graph::Bytes> icon;
            if (index < 3) icon = pngIcon(colours[index]);
            if (index == 3) icon = graph::Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
            // Feed 4 has no name: its address stands in.
            const std::string name = index == 4 ? "" : "Feed " + std::to_string(index + 1);
            feeds.push_back(nodes->addFeed(name, feedURL(index), icon, std::nullopt, index % 3 == 0,
                                           NewsletterType::none));
        }
        startCloud(signedIn());
        web = std::make_unique<WebService>(
            WebService::SessionOptions{TestCertificates::shared().authority.string(), std::nullopt, {}});
        TallowmereManager::setShared(std::make_shared<WebTallowmereManager>(stub.baseURL(), *web));
        stub.answer(kUserPath, StubAnswer::bodyless(404));
    }

    void TearDown() override {
        if (container) container->stopPushDelivery();
        window.reset();
        dispatch::MainQueue::shared().drain();
        CloudRemoteNotificationHandler::setShared(std::make_shared<CloudRemoteNotificationHandler>());
        TallowmereManager::setShared(nullptr);
        CloudUserManager::setShared(nullptr);
        CloudNotificationsManager::setShared(nullptr);
        NodesSource::replaceShared(nullptr);
    }

    virtual bool signedIn() const { return true; }

    void startCloud(bool signedIn) {
        auto inner = cloud::Container::make(signedIn ? cloud::Configuration::localFile(cloudFile(), "alice")
                                                     : cloud::Configuration::none());
        container = std::make_shared<FaultInjectingContainer>(inner);
        auto source = [c = container] { return std::static_pointer_cast<cloud::Container>(c); };
        notifications = std::make_shared<ContainerCloudNotificationsManager>(
            source, [this] { return std::static_pointer_cast<CloudUserManager>(user); }, [n = nodes] { return n; },
            [] { return true; });
        user = std::make_shared<ContainerCloudUserManager>(
            source, [] { return Preferences::shared()->cloudEnabled(); },
            [n = notifications] { return std::static_pointer_cast<CloudNotificationsManager>(n); });
        user->setGUIDMaker([] { return std::string(kGUID); });
        CloudNotificationsManager::setShared(notifications);
        CloudUserManager::setShared(user);
        CloudRemoteNotificationHandler::Collaborators c;
        c.container = source;
        CloudRemoteNotificationHandler::setShared(std::make_shared<CloudRemoteNotificationHandler>(c));
    }
    std::filesystem::path cloudFile() const { return dir.path() / "cloud.sqlite"; }

    // Shows the pane and waits until its appearance check has ended.
    void show() {
        if (!window) {
            window = std::make_unique<QWidget>();
            auto* layout = new QVBoxLayout(window.get());
            layout->setContentsMargins(0, 0, 0, 0);
            pane = new Pane(window.get());
            layout->addWidget(pane->view());
            window->setFixedSize(pane->preferredContentSize());
        }
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(waitUntil([&] { return settled(); }, kWait));
        // The pane's question for the stored address may still be unanswered;
        // its answer would overwrite what a test types. Questions are answered
        // in turn, so once a later one has its answer, the pane's is on the
        // main queue.
        auto answered = std::make_shared<std::atomic<bool>>(false);
        user->getEmail([answered](std::optional<std::string>) { *answered = true; });
        ASSERT_TRUE(waitUntil([&] { return answered->load(); }, kWait));
        dispatch::MainQueue::shared().drain();
    }
    bool settled() {
        return pane->shownFeeds().size() == nodes->allFeeds().size() &&
               !pane->toggleSubscriptionProgressIndicator()->isAnimating() &&
               !pane->toggleSubscriptionButton()->text().isEmpty();
    }
    void hide() {
        window->hide();
        dispatch::MainQueue::shared().drain();
    }

    // The cell of the feed's row, scrolled into sight.
    Cell* cell(const char* identifier, const Feed& feed) {
        const auto& shown = pane->shownFeeds();
        const auto found = std::find_if(shown.begin(), shown.end(),
                                        [&](const Feed& each) { return each.objectID() == feed.objectID(); });
        if (found == shown.end()) return nullptr;
        const int row = static_cast<int>(found - shown.begin());
        pane->feedsTableView()->scrollRowToVisible(row);
        QCoreApplication::processEvents();
        const auto& columns = pane->feedsTableView()->tableColumns();
        for (std::size_t column = 0; column < columns.size(); ++column)
            if (columns[column].identifier == QLatin1String(identifier))
                return qobject_cast<Cell*>(pane->feedsTableView()->viewAt(static_cast<int>(column), row));
        return nullptr;
    }
    template <typename T, typename Read>
    T stored(const Feed& feed, Read read) {
        T value{};
        data->backgroundContext()->performAndWait([&] { value = read(feed); });
        return value;
    }
    int storedType(const Feed& feed) {
        return stored<int>(feed, [](const Feed& f) { return static_cast<int>(f.newsletterType()); });
    }
    void setRawType(const Feed& feed, int raw) {
        data->backgroundContext()->performAndWait([&] {
            feed.setNewsletterType(static_cast<std::int16_t>(raw));
            ASSERT_TRUE(data->backgroundContext()->save().ok());
        });
    }
    std::vector<Kind> writes() {
        std::vector<Kind> seen;
        for (Kind kind : container->publicFaults().log())
            if (kind == Kind::modifyRecords || kind == Kind::modifySubscriptions) seen.push_back(kind);
        return seen;
    }
    std::vector<StubRequest> userRequests() {
        std::vector<StubRequest> seen;
        for (const StubRequest& request : stub.requests())
            if (request.path == "/api" + kUserPath) seen.push_back(request);
        return seen;
    }
    // Types the address and presses the button.
    void toggle(const QString& address) {
        QLineEdit* field = pane->emailTextField();
        field->setFocus();
        field->selectAll();
        field->del();
        QTest::keyClicks(field, address);
        QTest::mouseClick(pane->toggleSubscriptionButton(), Qt::LeftButton);
    }
    bool toggleEnded() {
        return !pane->toggleSubscriptionProgressIndicator()->isAnimating() && pane->toggleSubscriptionButton()->isEnabled();
    }

    // Half an hour off whole hours: a slip between local and universal time shows.
    ZoneScope zone{"Asia/Kolkata"};
    FreshPreferences settings;
    TempDir dir;
    std::shared_ptr<DataController> data;
    std::shared_ptr<NodesSource> nodes;
    std::vector<Feed> feeds;
    std::shared_ptr<FaultInjectingContainer> container;
    std::shared_ptr<ContainerCloudNotificationsManager> notifications;
    std::shared_ptr<ContainerCloudUserManager> user;
    BackendStub stub;
    std::unique_ptr<WebService> web;
    std::unique_ptr<QWidget> window;
    Pane* pane = nullptr;
};

class SignedOutPane : public NotificationsPane {
protected:
    bool signedIn() const override { return false; }
};

// MARK: Feed cells

// Records what the cells report.
class CellRecorder : public QObject, public PreferencesNotificationsCellViewDelegate {
public:
    void notificationUpdated(Cell&, bool enabled) override { notified.push_back(enabled); }
    void newsletterUpdated(Cell&, NewsletterType type) override { chosen.push_back(type); }
    std::vector<bool> notified;
    std::vector<NewsletterType> chosen;
};

TEST_F(NotificationsPane, CellsShowStoredValuesAndMendOutOfRangeOnes) {
    struct Case {
        const char* what;
        int stored;
        int shownIndex;  // of the pop-up: 0 none, 2 daily, -1 nothing
        int storedAfter;
    };
    const Case cases[] = {
        {"none", 0, 0, 0}, {"daily", 2, 2, 2}, {"hourly: nothing selected", 1, -1, 1},
        {"stored 5: shown and stored as none", 5, 0, 0}, {"negative: the same", -3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setRawType(feeds[0], c.stored);
        Cell newsletter(QString::fromLatin1(Cell::newsletterIdentifier), nodes);
        newsletter.setObjectValue(feeds[0]);
        EXPECT_EQ(newsletter.newsletterPopUpButton()->currentIndex(), c.shownIndex);
        EXPECT_EQ(storedType(feeds[0]), c.storedAfter);
    }
    Cell newsletter(QString::fromLatin1(Cell::newsletterIdentifier), nodes);
    ASSERT_EQ(newsletter.newsletterPopUpButton()->count(), 3);
    EXPECT_EQ(newsletter.newsletterPopUpButton()->itemText(0), QStringLiteral("none"));
    EXPECT_EQ(newsletter.newsletterPopUpButton()->itemText(2), QStringLiteral("daily"));

    // Name, tool tip and icon; a feed without name shows its address; data
    // that is no image gives the default icon.
    Cell feedCell(QString::fromLatin1(Cell::feedIdentifier), nodes);
    feedCell.resize(300, 22);
    feedCell.setObjectValue(feeds[4]);
    EXPECT_EQ(feedCell.fullText().toStdString(), feedURL(4));
    EXPECT_EQ(feedCell.textField()->toolTip().toStdString(), feedURL(4));
    feedCell.setObjectValue(feeds[3]);
    EXPECT_EQ(feedCell.fullText(), QStringLiteral("Feed 4"));
    EXPECT_FALSE(feedCell.imageView()->pixmap().isNull());

    // A reused cell whose feed is gone shows nothing of the previous feed.
    Cell checkbox(QString::fromLatin1(Cell::notificationsIdentifier), nodes);
    checkbox.setObjectValue(feeds[0]);
    EXPECT_TRUE(checkbox.notificationsCheckboxButton()->isChecked());
    Feed orphan = feeds[0];
    bool deleted = false;
    nodes->deleteNodes(feeds[0], [&] { deleted = true; });
    ASSERT_TRUE(waitUntil([&] { return deleted; }, kWait));
    checkbox.setObjectValue(orphan);
    EXPECT_FALSE(checkbox.notificationsCheckboxButton()->isChecked());
    feedCell.setObjectValue(orphan);
    EXPECT_TRUE(feedCell.fullText().isEmpty());
}

TEST_F(NotificationsPane, CellChoicesReachALiveDelegateOnly) {
    Cell checkbox(QString::fromLatin1(Cell::notificationsIdentifier), nodes);
    checkbox.resize(40, 22);
    checkbox.setObjectValue(feeds[1]);
    Cell newsletter(QString::fromLatin1(Cell::newsletterIdentifier), nodes);
    newsletter.setObjectValue(feeds[1]);
    auto recorder = std::make_unique<CellRecorder>();
    checkbox.setDelegate(recorder.get());
    newsletter.setDelegate(recorder.get());
    checkbox.notificationsCheckboxButton()->click();
    Q_EMIT newsletter.newsletterPopUpButton()->activated(2);
    Q_EMIT newsletter.newsletterPopUpButton()->activated(1);  // the separator
    EXPECT_EQ(recorder->notified, std::vector<bool>{true});
    EXPECT_EQ(recorder->chosen, std::vector<NewsletterType>{NewsletterType::daily});

    // The pane gone: clicks change nothing anywhere.
    recorder.reset();
    checkbox.notificationsCheckboxButton()->click();
    Q_EMIT newsletter.newsletterPopUpButton()->activated(2);
    EXPECT_FALSE(stored<bool>(feeds[1], [](const Feed& f) { return f.notifyUpdates(); }));
    EXPECT_EQ(storedType(feeds[1]), 0);
}

// MARK: The pane

TEST_F(NotificationsPane, LayoutRowsAndLiveFeedList) {
    show();
    EXPECT_EQ(pane->preferredContentSize(), QSize(580, 350));
    EXPECT_EQ(pane->feedsTableView()->height(), 216);
    EXPECT_EQ(pane->feedsTableView()->rowHeight(), 22);
    std::vector<std::string> titles;
    for (const auto& column : pane->feedsTableView()->tableColumns()) titles.push_back(column.title.toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"Feed", "Notifications", "Newsletter"}));
    EXPECT_EQ(pane->newsletterDailyDatePicker()->displayFormat(), QStringLiteral("HH:mm"));
    EXPECT_TRUE(pane->newsletterDailyDatePicker()->isEnabled());
    EXPECT_EQ(pane->shownFeeds().size(), 12u);
    EXPECT_LT(pane->feedsTableView()->viewport()->findChildren<Cell*>().size(), 12u * 3)
        << "cells only for the rows in sight";

    // A feed added while the pane is open shows up.
    nodes->addFeed("Late", "https://late.example/feed", std::nullopt, std::nullopt, false, NewsletterType::none);
    ASSERT_TRUE(waitUntil([&] { return pane->shownFeeds().size() == 13u; }, kWait));
    const Feed late = *nodes->feed(*URL::parse("https://late.example/feed"));
    ASSERT_TRUE(cell(Cell::feedIdentifier, late));
    EXPECT_EQ(cell(Cell::feedIdentifier, late)->fullText(), QStringLiteral("Late"));

    // Signed in, the global switch rebuilds the new-article subscription.
    const int rebuilds = container->publicFaults().requestCount(Kind::modifySubscriptions);
    QTest::mouseClick(pane->showNewArticleNotificationCheckBox(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil(
        [&] { return container->publicFaults().requestCount(Kind::modifySubscriptions) > rebuilds; }, kWait));
    EXPECT_EQ(cloudcalls::subscriptions(*container->publicDatabase()).subscriptions.count("new_article"), 1u);

    // The cloud switched off: the next show disables the time and the newsletter column.
    EXPECT_TRUE(cell(Cell::newsletterIdentifier, feeds[0])->isEnabled());
    hide();
    settings.preferences->setCloudEnabled(false);
    show();
    ASSERT_TRUE(waitUntil([&] { return !pane->authenticated(); }, kWait));
    ASSERT_TRUE(waitUntil([&] { return !pane->newsletterDailyDatePicker()->isEnabled(); }, kWait));
    EXPECT_FALSE(cell(Cell::newsletterIdentifier, feeds[0])->isEnabled());
    EXPECT_TRUE(cell(Cell::notificationsIdentifier, feeds[0])->isEnabled());
}

TEST_F(NotificationsPane, NewsletterLimitOfTen) {
    show();
    const Feed& target = feeds[11];
    struct Case {
        const char* what;
        int othersWithNewsletter;
        int targetBefore;
        NewsletterType chosen;
        int targetAfter;
        bool refused;
    };
    const Case cases[] = {
        {"ten already: an eleventh is refused", 10, 0, NewsletterType::daily, 0, true},
        {"nine: the tenth is stored", 9, 0, NewsletterType::daily, 2, false},
        {"a feed with a type changes freely", 9, 1, NewsletterType::daily, 2, false},
        {"none is always allowed", 10, 0, NewsletterType::none, 0, false},
        {"none from daily with ten", 9, 2, NewsletterType::none, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int index = 0; index < 11; ++index) setRawType(feeds[index], index < c.othersWithNewsletter ? 2 : 0);
        setRawType(target, c.targetBefore);
        pane->feedsTableView()->reloadData();
        Cell* newsletter = cell(Cell::newsletterIdentifier, target);
        ASSERT_TRUE(newsletter);
        std::shared_ptr<AlertSeen> alert;
        if (c.refused) alert = answerNextAlert(QStringLiteral("OK"));
        Q_EMIT newsletter->newsletterPopUpButton()->activated(c.chosen == NewsletterType::daily ? 2 : 0);
        EXPECT_EQ(storedType(target), c.targetAfter);
        if (c.refused) {
            ASSERT_TRUE(alert->shown);
            EXPECT_EQ(alert->text, QStringLiteral("A newsletter can hold at most 10 feeds."));
            EXPECT_EQ(cell(Cell::newsletterIdentifier, target)->newsletterPopUpButton()->currentIndex(), 0)
                << "the pop-up shows the stored none again";
        }
    }
}

TEST_F(NotificationsPane, SavingWhenHiddenOnlyWhileSubscribed) {
    // Not subscribed: a change is kept locally, nothing goes to the cloud.
    show();
    QTest::mouseClick(cell(Cell::notificationsIdentifier, feeds[1])->notificationsCheckboxButton(), Qt::LeftButton);
    EXPECT_TRUE(stored<bool>(feeds[1], [](const Feed& f) { return f.notifyUpdates(); }));
    EXPECT_TRUE(pane->settingsChanged());
    const auto before = writes();
    hide();
    bool completed = false;
    pane->saveSettings([&] { completed = true; });
    EXPECT_TRUE(completed) << "nothing to write, done at once";
    EXPECT_EQ(writes(), before);

    // Subscribed, one change: the subscription first, then the record's lists and time.
    stub.answer(kUserPath, StubAnswer{200, R"({"guid": "guid-of-alice", "email": "reader@example.com"})"});
    show();
    ASSERT_TRUE(waitUntil([&] { return pane->subscribed(); }, kWait));
    EXPECT_EQ(pane->toggleSubscriptionButton()->text(), QStringLiteral("Unsubscribe"));
    pane->newsletterDailyDatePicker()->setTime(QTime(7, 45));
    const std::size_t start = container->publicFaults().log().size();
    hide();
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto log = container->publicFaults().log();
            return std::find(log.begin() + static_cast<long>(start), log.end(), Kind::modifyRecords) != log.end();
        },
        kWait));
    const auto log = container->publicFaults().log();
    const auto subscription = std::find(log.begin() + static_cast<long>(start), log.end(), Kind::modifySubscriptions);
    const auto record = std::find(log.begin() + static_cast<long>(start), log.end(), Kind::modifyRecords);
    EXPECT_LT(subscription - log.begin(), record - log.begin()) << "the subscription is rebuilt first";
    // The call is logged as it starts: the record is read once the write has
    // landed, which the time set above shows.
    cloudcalls::Fetched fetched;
    ASSERT_TRUE(waitUntil(
        [&] {
            fetched = cloudcalls::fetch(*container->publicDatabase(), {cloud::RecordID(kGUID)});
            return fetched.records.size() == 1 &&
                   fetched.records.begin()->second.get<std::int64_t>("newsletter_daily_hour") == std::optional<std::int64_t>(7);
        },
        kWait));
    const cloud::Record& guid = fetched.records.begin()->second;
    EXPECT_EQ(guid.get<std::int64_t>("newsletter_daily_hour"), 7);
    EXPECT_EQ(guid.get<std::int64_t>("newsletter_daily_minute"), 45);
    const auto push = guid.get<std::vector<std::string>>("push_feeds").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find_if(push.begin(), push.end(), [](const std::string& entry) { return entry.find("site1.example") != std::string::npos; }),
              push.end());
    EXPECT_EQ(cloudcalls::subscriptions(*container->publicDatabase()).subscriptions.count("new_article"), 1u);

    // A second hide without change writes nothing.
    show();
    ASSERT_TRUE(waitUntil([&] { return pane->newsletterDailyDatePicker()->time() == QTime(7, 45); }, kWait))
        << "the time comes back from the record";
    const auto quiet = writes();
    hide();
    completed = false;
    pane->saveSettings([&] { completed = true; });
    EXPECT_TRUE(completed);
    EXPECT_EQ(writes(), quiet);
}

TEST_F(NotificationsPane, OverlappingSavesEachCompleteOnce) {
    stub.answer(kUserPath, StubAnswer{200, R"({"guid": "guid-of-alice", "email": "reader@example.com"})"});
    show();
    ASSERT_TRUE(waitUntil([&] { return pane->subscribed(); }, kWait));
    pane->newsletterDailyDatePicker()->setTime(QTime(6, 0));
    int quitting = 0;
    int again = 0;
    pane->saveSettings([&] { ++quitting; });
    hide();  // saves too, with nothing left to save
    pane->saveSettings([&] { ++again; });
    EXPECT_EQ(again, 1);
    ASSERT_TRUE(waitUntil([&] { return quitting == 1; }, kWait));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(quitting, 1);
}

// MARK: Newsletter address

TEST_F(NotificationsPane, SubscribeInLowerCaseFollowVerificationByPushThenUnsubscribe) {
    show();
    EXPECT_EQ(pane->toggleSubscriptionButton()->text(), QStringLiteral("Subscribe")) << "404 counts as no address";
    ASSERT_TRUE(pane->toggleSubscriptionButton()->isEnabled());
    EXPECT_FALSE(pane->emailStatusTextField()->isVisible()) << "not subscribed: no status";

    stub.answer(kUserPath, StubAnswer{200, "{}"});
    toggle(QStringLiteral("Reader@Example.COM"));
    ASSERT_TRUE(waitUntil([&] { return pane->subscribed() && toggleEnded(); }, kWait));
    const auto sent = userRequests();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(nlohmann::json::parse(sent.back().body),
              nlohmann::json::parse(R"({"guid": "guid-of-alice", "email": "reader@example.com", "verify": 1})"));
    EXPECT_EQ(cloudcalls::userRecord(*container).record->get<std::string>("email"), "reader@example.com")
        << "the user record first holds the address";
    EXPECT_EQ(pane->toggleSubscriptionButton()->text(), QStringLiteral("Unsubscribe"));
    ASSERT_TRUE(waitUntil([&] { return pane->emailTextField()->text() == QStringLiteral("reader@example.com"); }, kWait));
    EXPECT_TRUE(pane->emailTextField()->isReadOnly()) << "locked";
    EXPECT_TRUE(pane->emailStatusTextField()->isVisible());
    EXPECT_EQ(pane->emailStatusTextField()->text(), QStringLiteral("Check your e-mail to verify the address"));

    // The outside service marks the address verified; the push flips the label.
    bool saved = false;
    user->saveNotificationFeedLists(std::nullopt, [&] { saved = true; });
    ASSERT_TRUE(waitUntil([&] { return saved; }, kWait));
    container->startPushDelivery(&CloudRemoteNotificationHandler::didReceiveRemoteNotification);
    {
        OutsideWriter writer(cloud::Configuration::localFile(cloudFile()));
        auto fetched = cloudcalls::fetch(*writer.container().publicDatabase(), {cloud::RecordID(kGUID)});
        ASSERT_EQ(fetched.records.size(), 1u);
        cloud::Record guid = fetched.records.begin()->second;
        guid.set("verified", true);
        writer.save({guid});
    }
    ASSERT_TRUE(waitUntil([&] { return pane->emailStatusTextField()->text() == QStringLiteral("Verified"); }, kWait));
    EXPECT_EQ(pane->emailStatusTextField()->palette().color(QPalette::WindowText).green(), 0x9d);
    Screenshot(window.get(), QStringLiteral("notifications-subscribed"));

    stub.answer(kUserPath, StubAnswer{200, "{}"});
    QTest::mouseClick(pane->toggleSubscriptionButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !pane->subscribed() && toggleEnded(); }, kWait));
    EXPECT_EQ(nlohmann::json::parse(userRequests().back().body),
              nlohmann::json::parse(R"({"guid": "guid-of-alice", "email": "reader@example.com", "delete": 1})"));
    EXPECT_EQ(pane->toggleSubscriptionButton()->text(), QStringLiteral("Subscribe"));
}

TEST_F(NotificationsPane, BadAddressesAreRefusedWithoutARequest) {
    show();
    // The label holds a text once an address was checked.
    pane->emailTextField()->setText(QStringLiteral("reader@example.com"));
    user->setEmailVerified(false);
    ASSERT_TRUE(waitUntil([&] { return !pane->emailStatusTextField()->text().isEmpty(); }, kWait));
    const std::size_t before = userRequests().size();
    const QString bad[] = {
        QStringLiteral("a@b.c"), QStringLiteral("a@bc"), QStringLiteral("a b@example.com"),
        QStringLiteral("r\u00e9ader@example.com"), QStringLiteral("a@b.") + QString(65, QLatin1Char('x')),
        QStringLiteral("reader@example.com\n"), QString(100'000, QLatin1Char('a')),
    };
    for (const QString& address : bad) {
        SCOPED_TRACE(address.left(40).toStdString());
        pane->emailTextField()->setReadOnly(false);
        pane->emailTextField()->setText(address);
        QTest::mouseClick(pane->toggleSubscriptionButton(), Qt::LeftButton);
        EXPECT_EQ(pane->emailStatusTextField()->text(), QStringLiteral("Not a valid address"));
        EXPECT_TRUE(pane->emailStatusTextField()->isVisible());
        EXPECT_TRUE(pane->toggleSubscriptionButton()->isEnabled()) << "nothing started";
        dispatch::MainQueue::shared().drain();
    }
    EXPECT_EQ(userRequests().size(), before);
}

TEST_F(NotificationsPane, BackendAndCloudFailures) {
    // 409: the alert names the address and the error; still not subscribed.
    show();
    stub.answer(kUserPath, StubAnswer{409, R"({"error": "taken"})"});
    auto alert = answerNextAlert(QStringLiteral("OK"));
    toggle(QStringLiteral("taken@example.com"));
    ASSERT_TRUE(waitUntil([&] { return alert->shown && toggleEnded(); }, kWait));
    EXPECT_EQ(alert->text, QStringLiteral("Could not subscribe to the newsletter"));
    EXPECT_EQ(alert->informativeText,
              QStringLiteral("taken@example.com: This e-mail address is already registered for another user."));
    EXPECT_FALSE(pane->subscribed());
    EXPECT_EQ(pane->toggleSubscriptionButton()->text(), QStringLiteral("Subscribe"));

    // The user record cannot be written: the backend hears nothing.
    const std::size_t before = userRequests().size();
    container->publicFaults().failNext(Kind::modifyRecords, 1, cloud::Error::make(cloud::ErrorCode::permissionFailure, "refused"));
    stub.answer(kUserPath, StubAnswer{200, "{}"});
    toggle(QStringLiteral("other@example.com"));
    ASSERT_TRUE(waitUntil([&] { return toggleEnded(); }, kWait));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(userRequests().size(), before);
    EXPECT_FALSE(pane->subscribed());

    // A server error at the check leaves the button disabled until the next show.
    hide();
    stub.answer(kUserPath, StubAnswer::bodyless(500));
    window->show();
    ASSERT_TRUE(waitUntil([&] { return userRequests().size() > before && !pane->toggleSubscriptionProgressIndicator()->isAnimating(); }, kWait));
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(pane->toggleSubscriptionButton()->isEnabled());

    // A check whose request cannot even be built is no subscription either.
    hide();
    TallowmereManager::setShared(std::make_shared<WebTallowmereManager>("not an address", *web));
    const std::size_t sent = userRequests().size();
    window->show();
    ASSERT_TRUE(waitUntil([&] { return !pane->toggleSubscriptionProgressIndicator()->isAnimating(); }, kWait));
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(pane->subscribed());
    EXPECT_FALSE(pane->toggleSubscriptionButton()->isEnabled());
    EXPECT_EQ(userRequests().size(), sent);
}

TEST_F(SignedOutPane, EverythingButTheNotificationsIsDisabled) {
    settings.preferences->setShowNewArticleNotification(true);
    show();
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(pane->authenticated());
    EXPECT_FALSE(pane->emailTextField()->isEnabled());
    EXPECT_FALSE(pane->toggleSubscriptionButton()->isEnabled());
    EXPECT_FALSE(pane->newsletterDailyDatePicker()->isEnabled());
    EXPECT_TRUE(pane->showNewArticleNotificationCheckBox()->isEnabled());
    EXPECT_TRUE(pane->showNewArticleNotificationCheckBox()->isChecked());
    Screenshot(window.get(), QStringLiteral("notifications-signed-out"));

    // A disabled newsletter cell ignores clicks; the row's checkbox works.
    Cell* newsletter = cell(Cell::newsletterIdentifier, feeds[2]);
    ASSERT_TRUE(newsletter);
    EXPECT_FALSE(newsletter->isEnabled());
    QTest::mouseClick(newsletter->newsletterPopUpButton(), Qt::LeftButton);
    QTest::keyClick(newsletter->newsletterPopUpButton(), Qt::Key_Down);
    EXPECT_EQ(storedType(feeds[2]), 0);
    QTest::mouseClick(cell(Cell::notificationsIdentifier, feeds[2])->notificationsCheckboxButton(), Qt::LeftButton);
    EXPECT_TRUE(stored<bool>(feeds[2], [](const Feed& f) { return f.notifyUpdates(); }));

    // The global switch changes the local setting only.
    QTest::mouseClick(pane->showNewArticleNotificationCheckBox(), Qt::LeftButton);
    EXPECT_FALSE(settings.preferences->showNewArticleNotification());
    EXPECT_EQ(container->publicFaults().requestCount(Kind::modifySubscriptions), 0);
}

}  // namespace
}  // namespace tallowmere::test
