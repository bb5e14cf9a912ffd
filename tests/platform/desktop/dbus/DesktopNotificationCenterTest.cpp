#include <gtest/gtest.h>

#include <QThread>
#include <memory>

#include "platform/desktop/DesktopNotificationCenter.h"
#include "support/LogCapture.h"
#include "support/ui/FakeNotificationServer.h"
#include "support/ui/UiWait.h"

using namespace tallowmere;
using desktop::DesktopNotificationCenter;
using notifications::NotificationID;
using notifications::UserNotification;

namespace {

UserNotification notification(const std::string& title, const std::string& text, nlohmann::json userInfo = {}) {
    UserNotification shown;
    shown.title = title;
    shown.informativeText = text;
    if (!userInfo.is_null()) shown.userInfo = std::move(userInfo);
    return shown;
}

// Delivers and waits for the server's answer.
std::optional<NotificationID> deliver(DesktopNotificationCenter& center, UserNotification shown,
                                      DesktopNotificationCenter::ActivationHandler onActivation = {}) {
    bool done = false;
    std::optional<NotificationID> id;
    center.deliver(std::move(shown), std::move(onActivation), [&](std::optional<NotificationID> given) {
        id = given;
        done = true;
    });
    EXPECT_TRUE(test::waitUntil([&] { return done; }, 20000));
    return id;
}

TEST(DesktopNotificationCenter, DeliversWithItsHintsAndRoutesEachClickToItsOwnHandler) {
    test::FakeNotificationServer server("fake-notifications-routes");
    ASSERT_TRUE(server.registered());
    DesktopNotificationCenter center(QDBusConnection::sessionBus());

    struct Click {
        NotificationID id;
        nlohmann::json userInfo;
        bool onMainThread;
    };
    std::vector<Click> first;
    std::vector<Click> second;
    auto recorder = [](std::vector<Click>& clicks) {
        return [&clicks](NotificationID id, const nlohmann::json& userInfo) {
            clicks.push_back({id, userInfo, QThread::currentThread() == qApp->thread()});
        };
    };
    auto sounding = notification("Big <news>", "a <b> & c", {{"which", 1}});
    sounding.soundName = "default";
    const auto firstID = deliver(center, sounding, recorder(first));
    const auto secondID = deliver(center, notification("Quiet", "", {{"which", 2}}), recorder(second));
    ASSERT_TRUE(firstID && secondID);
    EXPECT_NE(*firstID, *secondID);
    EXPECT_EQ(server.capabilityRequests(), 1) << "asked once";

    ASSERT_EQ(server.notified().size(), 2u);
    const auto& loud = server.notified()[0];
    EXPECT_EQ(loud.appName, QStringLiteral("Tallowmere"));
    EXPECT_EQ(loud.summary, QStringLiteral("Big <news>")) << "a summary is never markup";
    EXPECT_EQ(loud.body, QStringLiteral("a &lt;b&gt; &amp; c"));
    EXPECT_EQ(loud.actions, (QStringList{"default", "Show"}));
    EXPECT_EQ(loud.hints.value("desktop-entry").toString(), QStringLiteral("tallowmere"));
    EXPECT_EQ(loud.hints.value("sound-name").toString(), QStringLiteral("message-new-instant"));
    EXPECT_EQ(loud.timeout, -1);
    EXPECT_FALSE(loud.image);
    EXPECT_FALSE(server.notified()[1].hints.contains("sound-name"));
    EXPECT_EQ(server.notified()[1].body, QString());

    server.invokeAction(*secondID);
    ASSERT_TRUE(test::waitUntil([&] { return !second.empty(); }));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(second[0].id, *secondID);
    EXPECT_EQ(second[0].userInfo, (nlohmann::json{{"which", 2}}));
    EXPECT_TRUE(second[0].onMainThread);

    // Another action, then a close by the server: the first is forgotten
    // and a late click on it does nothing.
    server.invokeAction(*firstID, "other");
    server.closeNotification(*firstID);
    ASSERT_TRUE(test::waitUntil([&] { return center.shownCount() == 1; }));
    server.invokeAction(*firstID);
    server.invokeAction(*secondID);
    ASSERT_TRUE(test::waitUntil([&] { return second.size() == 2; }));
    EXPECT_TRUE(first.empty());

    center.remove(*secondID);
    center.remove(*firstID);  // closed already: not sent
    ASSERT_TRUE(test::waitUntil([&] { return !server.closed().empty(); }));
    EXPECT_EQ(server.closed(), std::vector<uint>{*secondID});
    EXPECT_EQ(center.shownCount(), 0u);
}

TEST(DesktopNotificationCenter, WithoutBodyMarkupTheTextGoesRawAndLongTextIsCut) {
    test::FakeNotificationServer server("fake-notifications-plain", {QStringLiteral("body"), QStringLiteral("actions")});
    ASSERT_TRUE(server.registered());
    DesktopNotificationCenter center(QDBusConnection::sessionBus());
    const std::string megabyte(1 << 20, 'x');
    std::string faces(299, 'a');
    for (int n = 0; n < 5; ++n) faces += "\U0001F642";
    ASSERT_TRUE(deliver(center, notification("raw", "<b>bold</b> & more")));
    ASSERT_TRUE(deliver(center, notification("long", megabyte)));
    ASSERT_TRUE(deliver(center, notification("faces", faces)));
    ASSERT_EQ(server.notified().size(), 3u);
    EXPECT_EQ(server.notified()[0].body, QStringLiteral("<b>bold</b> & more"));
    EXPECT_EQ(server.notified()[1].body, QString(300, 'x'));
    EXPECT_EQ(server.notified()[2].body, QString(299, 'a') + QString::fromUtf8("\U0001F642"))
        << "a character is never split";
}

TEST(DesktopNotificationCenter, EndingClosesWhatIsStillShown) {
    test::FakeNotificationServer server("fake-notifications-ending");
    ASSERT_TRUE(server.registered());
    std::optional<NotificationID> id;
    {
        DesktopNotificationCenter center(QDBusConnection::sessionBus());
        id = deliver(center, notification("left", "over"));
        ASSERT_TRUE(id);
    }
    ASSERT_TRUE(test::waitUntil([&] { return !server.closed().empty(); }));
    EXPECT_EQ(server.closed(), std::vector<uint>{*id});
}

TEST(DesktopNotificationCenter, WithoutAServerItWarnsOnceAndAFailingNotifyIsLogged) {
    test::LogCapture log;
    {
        DesktopNotificationCenter center(QDBusConnection::sessionBus());
        EXPECT_FALSE(deliver(center, notification("one", "")));
        EXPECT_FALSE(deliver(center, notification("two", "")));
    }
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("no desktop notification server"), std::string::npos) << log.lines()[0];

    test::FakeNotificationServer server("fake-notifications-failing");
    ASSERT_TRUE(server.registered());
    server.failNotify();
    DesktopNotificationCenter center(QDBusConnection::sessionBus());
    EXPECT_FALSE(deliver(center, notification("refused", "")));
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[1].find("Notify error"), std::string::npos) << log.lines()[1];
}

}  // namespace
