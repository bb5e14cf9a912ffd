#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Configuration.h"
#include "platform/defaults/UserDefaults.h"
#include "prefs/PreferencesAdvancedViewController.h"
#include "reader/ReaderView.h"
#include "reader/ReaderWebStorage.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"
#include "window/ProgressIndicator.h"

using namespace tallowmere;

namespace {

// A small PNG.
std::string pngImage() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// A site that sets a cookie and a stored value and shows an image the
// browser may keep for an hour; it notes the cookies it is sent and how
// often the image is fetched.
struct Site {
    test::LoopbackServer server;
    std::mutex mutex;
    std::vector<std::string> pageCookies;
    std::atomic<int> imageFetches{0};

    Site() {
        server.server().Get("/page", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                pageCookies.push_back(request.get_header_value("Cookie"));
            }
            response.set_header("Set-Cookie", "visit=1; Max-Age=3600; Path=/");
            response.set_header("Cache-Control", "no-store");
            response.set_content(
                "<!doctype html><html><body><img id=\"i\" src=\"/image.png\">"
                "<script>if (!localStorage.getItem('kept')) localStorage.setItem('kept', 'yes');</script>"
                "</body></html>",
                "text/html");
        });
        server.server().Get("/image.png", [this, image = pngImage()](const httplib::Request&, httplib::Response& response) {
            ++imageFetches;
            response.set_header("Cache-Control", "max-age=3600");
            response.set_content(image, "image/png");
        });
        server.server().Get("/read", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<!doctype html><html><body>reading</body></html>", "text/html");
        });
        server.start();
    }

    std::string lastCookie() {
        std::lock_guard lock(mutex);
        return pageCookies.empty() ? std::string("(no request)") : pageCookies.back();
    }
};

bool load(QWebEnginePage* page, const std::string& url) {
    std::optional<bool> loaded;
    auto connection = QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    page->load(QUrl(QString::fromStdString(url)));
    test::waitUntil([&] { return loaded.has_value(); }, 30000);
    QObject::disconnect(connection);
    return loaded.value_or(false);
}

struct HelperRun {
    int exitCode = -1;
    std::string output;
};

// The next start of the program, as far as the preferences are concerned.
HelperRun restart(const QStringList& arguments) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(QStringLiteral(TALLOWMERE_PREFERENCES_RESTART_HELPER), arguments);
    if (!helper.waitForFinished(120000)) {
        helper.kill();
        helper.waitForFinished();
        return {};
    }
    return {helper.exitCode(), helper.readAllStandardOutput().trimmed().toStdString()};
}

TEST(WebDataRemoval, CookiesAndCacheGoNowWithTheButtonHeldUntilDone) {
    Site site;
    QWebEngineView view;
    auto* page = new QWebEnginePage(ReaderView::profile(), &view);
    view.setPage(page);
    view.resize(400, 300);
    view.show();

    ASSERT_TRUE(load(page, site.server.url("/page")));
    ASSERT_TRUE(test::waitUntil([&] { return site.imageFetches == 1; }, 15000));
    // As things stand: the cookie goes back and the image comes from the cache.
    ASSERT_TRUE(load(page, site.server.url("/page")));
    EXPECT_EQ(site.lastCookie(), "visit=1");
    EXPECT_EQ(site.imageFetches, 1);

    PreferencesAdvancedViewController pane(ReaderView::profile());
    pane.view()->show();
    pane.removeWebCachesButton()->click();
    EXPECT_FALSE(pane.removeWebCachesButton()->isEnabled());
    EXPECT_TRUE(pane.removeWebCachesProgressIndicator()->isVisible());
    EXPECT_TRUE(pane.removeWebCachesProgressIndicator()->isAnimating());
    ASSERT_TRUE(test::waitUntil([&] { return pane.removeWebCachesButton()->isEnabled(); }, 20000));
    EXPECT_FALSE(pane.removeWebCachesProgressIndicator()->isVisible());
    EXPECT_TRUE(ReaderWebStorage::isRemovalScheduled()) << "the site storage goes at the next start";

    ASSERT_TRUE(load(page, site.server.url("/page")));
    EXPECT_EQ(site.lastCookie(), "");
    EXPECT_TRUE(test::waitUntil([&] { return site.imageFetches == 2; }, 15000)) << site.imageFetches;
}

// Local storage outlives a restart, unless its removal was asked for: then
// the next start finds it empty.
TEST(WebDataRemoval, LocalStorageIsGoneAfterTheNextStart) {
    Site site;
    test::TempDir data;
    test::ScopedEnv dataHome("XDG_DATA_HOME", data.path().c_str());
    const QString page = QString::fromStdString(site.server.url("/page"));
    const QString read = QString::fromStdString(site.server.url("/read"));

    const auto set = restart({QStringLiteral("web-storage"), QStringLiteral("set"), page});
    ASSERT_EQ(set.exitCode, 0);
    EXPECT_EQ(set.output, "yes");
    const auto kept = restart({QStringLiteral("web-storage"), QStringLiteral("read"), read});
    ASSERT_EQ(kept.exitCode, 0);
    EXPECT_EQ(kept.output, "yes") << "stored values outlive a restart";

    const auto removal = restart({QStringLiteral("web-storage"), QStringLiteral("remove"), read});
    ASSERT_EQ(removal.exitCode, 0);
    const auto after = restart({QStringLiteral("web-storage"), QStringLiteral("read"), read});
    ASSERT_EQ(after.exitCode, 0);
    EXPECT_EQ(after.output, "null");
}

// A cloud file entered now is signed in to at the next start.
TEST(CloudAccountEntry, TheNextStartIsSignedInToTheCloudFile) {
    test::TempDir folder;
    test::ScopedEnv override("TALLOWMERE_CLOUD", nullptr);
    const auto file = (folder.path() / "cloud.sqlite").string();
    {
        PreferencesAdvancedViewController pane;
        pane.view();
        pane.cloudBackingPopUp()->setCurrentIndex(1);
        Q_EMIT pane.cloudBackingPopUp()->activated(1);
        pane.cloudBackingField()->setText(QString::fromStdString(file));
        Q_EMIT pane.cloudBackingField()->textEdited(pane.cloudBackingField()->text());
        pane.cloudBackingApplyButton()->click();
    }
    const auto status = restart({QStringLiteral("cloud-status")});
    defaults::UserDefaults::standard()->removeObject(cloud::Configuration::settingKey);
    defaults::UserDefaults::standard()->synchronize();
    ASSERT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.output, "Signed in as " + cloud::Configuration::loginName() + ".");
}

}  // namespace
