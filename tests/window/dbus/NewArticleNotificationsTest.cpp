#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QThread>

#include "cloud/CenterLocalNotificationsManager.h"
#include "cloud/CloudNotificationsManagerDelegate.h"
#include "cloud/CloudRemoteNotificationHandler.h"
#include "feeds/FeedsManagerFixture.h"
#include "platform/cloud/Container.h"
#include "platform/desktop/DesktopNotificationCenter.h"
#include "platform/notifications/NullUserNotificationCenter.h"
#include "support/CloudCalls.h"
#include "support/OutsideWriter.h"
#include "support/ui/FakeNotificationServer.h"
#include "support/ui/UiWait.h"
#include "window/DesktopNotifications.h"

namespace tallowmere::test {
namespace {

using desktop::DesktopNotificationCenter;

constexpr int kWait = 20000;

// Where a clicked notification's article went, and from which thread.
class ShowingDelegate final : public CloudNotificationsManagerDelegate {
public:
    void showArticle(const Article& article) override {
        shown.push_back(article.objectID());
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }
    void userRecordDidChange() override {}
    std::vector<graph::ObjectID> shown;
    bool onMainThread = true;
};

// A 44 × 44 icon: red on the left half, blue on the right.
graph::Bytes twoColourIcon() {
    QImage image(44, 44, QImage::Format_RGB32);
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x) image.setPixel(x, y, x < 22 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return graph::Bytes(png.begin(), png.end());
}

// The real store, feed engine and a notification server on the test's bus.
class NewArticleNotificationsTest : public FeedsManagerTest {
protected:
    void SetUp() override {
        FeedsManagerTest::SetUp();
        ASSERT_TRUE(notifier.registered());
    }
    void TearDown() override {
        center.reset();
        FeedsManagerTest::TearDown();
    }

    std::vector<Article> insertArticles(const Feed& feed, const std::vector<std::pair<std::string, std::string>>& items) {
        std::vector<Article> inserted;
        auto& context = *dataController->backgroundContext();
        context.performAndWait([&] {
            for (const auto& [title, text] : items) {
                Article article = Article::insert(context);
                article.setTitle(title);
                article.setLink("https://site.example/" + title);
                if (!text.empty()) article.setTextContent(text);
                article.setFeed(feed);
                inserted.push_back(article);
            }
            EXPECT_TRUE(context.save().ok());
        });
        return inserted;
    }
    std::string linkOf(const graph::ObjectID& id) {
        return inBackground<std::string>([&] {
            auto object = dataController->backgroundContext()->existingObject(id);
            return object.ok() ? Article::from(object.value())->link().value_or("") : std::string();
        });
    }

    FakeNotificationServer notifier{"fake-notification-server"};
    std::shared_ptr<DesktopNotificationCenter> center =
        std::make_shared<DesktopNotificationCenter>(QDBusConnection::sessionBus());
    std::shared_ptr<ShowingDelegate> delegate = std::make_shared<ShowingDelegate>();
};

TEST_F(NewArticleNotificationsTest, NewArticlesOfANotifyingFeedAreShownAndAClickShowsTheArticle) {
    const Feed notifying = nodes->addFeed("Notifying", "https://n.example/feed", twoColourIcon(), std::nullopt, true,
                                          NewsletterType::none);
    const Feed quiet = nodes->addFeed("Quiet", "https://q.example/feed", std::nullopt, std::nullopt, false,
                                      NewsletterType::none);
    const auto quietArticles = insertArticles(quiet, {{"quiet", "Quiet text"}});
    const auto articles = insertArticles(notifying, {{"one", "Text one"}, {"two", ""}});

    CenterLocalNotificationsManager::Collaborators off;
    off.center = [c = center] { return c; };
    off.showNewArticleNotification = [] { return false; };
    std::make_shared<CenterLocalNotificationsManager>(off)->notifyNewArticle(articles[0]);

    CenterLocalNotificationsManager::Collaborators on;
    on.center = [c = center] { return c; };
    on.dataController = [this] { return dataController; };
    on.showNewArticleNotification = [] { return true; };
    on.icon = [this](const Feed& feed, int size) { return DesktopNotifications::feedIcon(*nodes, feed, size); };
    auto local = std::make_shared<CenterLocalNotificationsManager>(on);
    local->setDelegate(delegate);
    local->notifyNewArticle(quietArticles[0]);
    for (const Article& article : articles) local->notifyNewArticle(article);

    ASSERT_TRUE(waitUntil([&] { return notifier.notified().size() == 2; }, kWait));
    const auto first = notifier.notified()[0];
    const auto second = notifier.notified()[1];
    EXPECT_EQ(first.summary, QStringLiteral("one"));
    EXPECT_EQ(first.body, QStringLiteral("Text one"));
    EXPECT_EQ(second.summary, QStringLiteral("two"));
    EXPECT_EQ(second.body, QString()) << "no text, an empty body";
    EXPECT_FALSE(first.hints.contains("sound-name"));

    ASSERT_TRUE(first.image);
    const auto& image = *first.image;
    EXPECT_EQ(image.width, 44);
    EXPECT_EQ(image.height, 44);
    EXPECT_EQ(image.rowstride, 176);
    EXPECT_TRUE(image.hasAlpha);
    EXPECT_EQ(image.bitsPerSample, 8);
    EXPECT_EQ(image.channels, 4);
    QByteArray expected;
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 44; ++x) expected.append(x < 22 ? QByteArray("\xff\x00\x00\xff", 4) : QByteArray("\x00\x00\xff\xff", 4));
    EXPECT_EQ(image.data, expected);

    // Each click shows its own article and takes its notification away.
    notifier.invokeAction(second.id);
    ASSERT_TRUE(waitUntil([&] { return delegate->shown.size() == 1 && notifier.closed().size() == 1; }, kWait));
    EXPECT_EQ(delegate->shown[0], articles[1].objectID());
    EXPECT_TRUE(delegate->onMainThread);
    EXPECT_EQ(notifier.closed(), std::vector<uint>{second.id});

    // A click on an article deleted since, or on a foreign URI: nothing,
    // and the notification stays.
    auto& context = *dataController->backgroundContext();
    context.performAndWait([&] {
        context.deleteObject(context.object(articles[0].objectID()));
        ASSERT_TRUE(context.save().ok());
    });
    ASSERT_TRUE(waitUntil([&] { return dataController->mainContext()->existingObject(articles[0].objectID()).ok() == false; }, kWait));
    // Clicks come in order: once a later one is seen, the first was handled.
    bool markerSeen = false;
    std::optional<notifications::NotificationID> marker;
    center->deliver({}, [&](notifications::NotificationID, const nlohmann::json&) { markerSeen = true; },
                    [&](std::optional<notifications::NotificationID> id) { marker = id; });
    ASSERT_TRUE(waitUntil([&] { return marker.has_value(); }, kWait));
    notifier.invokeAction(first.id);
    notifier.invokeAction(*marker);
    ASSERT_TRUE(waitUntil([&] { return markerSeen; }, kWait));
    local->didActivate(first.id, {{CenterLocalNotificationsManager::uriKey, "x-coredata://ELSEWHERE/Article/p1"}});
    local->didActivate(first.id, {{CenterLocalNotificationsManager::uriKey, "garbage"}});
    local->didActivate(first.id, {{CenterLocalNotificationsManager::uriKey, 7}});
    EXPECT_EQ(delegate->shown.size(), 1u);
    EXPECT_EQ(notifier.closed(), std::vector<uint>{second.id});
}

TEST_F(NewArticleNotificationsTest, APushedArticleIsStoredAnnouncedAndShownWhenClicked) {
    server->setFeed("news.xml", servedFeed("News", servedItems("n", 1)));
    const std::string url = server->feedURL("news.xml");
    ASSERT_EQ(addAndWait(url), std::nullopt);

    TempDir cloudFolder;
    const auto cloudFile = cloudFolder.path() / "cloud.sqlite";
    auto alice = cloud::Container::make(cloud::Configuration::localFile(cloudFile, "alice"));
    cloud::QuerySubscription subscription{"new_article", "article", cloud::Predicate::in("feed_url", {url}),
                                          cloud::firesOnRecordCreation, {}};
    auto& info = subscription.notificationInfo;
    info.desiredKeys = std::vector<std::string>{"link", "feed_url", "top_image_url"};
    info.titleLocalizationKey = "%@";
    info.titleLocalizationArgs = {"title"};
    info.alertLocalizationKey = "%@";
    info.alertLocalizationArgs = {"feed_title"};
    info.soundName = "default";
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*alice->publicDatabase(), {subscription}));

    notifications::UserNotificationCenter::setShared(center);
    CloudRemoteNotificationHandler::Collaborators c;
    c.container = [alice] { return alice; };
    c.storeArticle = [this](const CloudArticle& article, CloudRemoteNotificationHandler::StoredCompletion done) {
        manager->addArticle(article, std::move(done));
    };
    c.articles = [this]() -> ArticlesSource& { return *articles; };
    c.delegate = [d = delegate] { return d; };
    CloudRemoteNotificationHandler::setShared(std::make_shared<CloudRemoteNotificationHandler>(c));
    alice->startPushDelivery(&CloudRemoteNotificationHandler::didReceiveRemoteNotification);

    OutsideWriter writer(cloud::Configuration::localFile(cloudFile));
    auto record = OutsideWriter::article("pushed", url, "Big <news>", cloud::Date(std::chrono::hours(480000)));
    record.set("feed_title", "Feed & co");
    writer.save({record});
    const std::string pushedLink = *record.get<std::string>("link");

    ASSERT_TRUE(waitUntil([&] { return notifier.notified().size() == 1 && articleLinks(url).size() == 2; }, kWait));
    const auto notified = notifier.notified()[0];
    EXPECT_EQ(notified.summary, QStringLiteral("Big <news>"));
    EXPECT_EQ(notified.body, QStringLiteral("Feed &amp; co"));
    EXPECT_EQ(notified.hints.value("sound-name").toString(), QStringLiteral("message-new-instant"));

    notifier.invokeAction(notified.id);
    ASSERT_TRUE(waitUntil([&] { return !delegate->shown.empty() && !notifier.closed().empty(); }, kWait));
    EXPECT_TRUE(delegate->onMainThread);
    EXPECT_EQ(linkOf(delegate->shown[0]), pushedLink);
    EXPECT_EQ(notifier.closed(), std::vector<uint>{notified.id});
    EXPECT_EQ(articleLinks(url).size(), 2u) << "the click stored nothing twice";

    alice->stopPushDelivery();
    CloudRemoteNotificationHandler::setShared(std::make_shared<CloudRemoteNotificationHandler>());
    notifications::UserNotificationCenter::setShared(std::make_shared<notifications::NullUserNotificationCenter>());
}

}  // namespace
}  // namespace tallowmere::test
