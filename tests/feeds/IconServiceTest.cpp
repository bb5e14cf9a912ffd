#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feeds/IconService.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using tallowmere::IconService;
using tallowmere::URL;
using tallowmere::WebService;
using tallowmere::http::Bytes;

namespace {

class IconExpectation {
public:
    IconService::Completion completion() {
        return [this](std::optional<Bytes> icon) {
            std::lock_guard lock(mutex_);
            ++calls_;
            icon_ = std::move(icon);
            condition_.notify_all();
        };
    }
    // The icon as text, or "<none>".
    std::string wait(std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(condition_.wait_for(lock, limit, [&] { return calls_ > 0; })) << "no completion";
        EXPECT_EQ(calls_, 1);
        return icon_ ? std::string(icon_->begin(), icon_->end()) : "<none>";
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    int calls_ = 0;
    std::optional<Bytes> icon_;
};

class IconServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& server = loopback_.server();
        const auto page = [&](const std::string& path, const std::string& head) {
            server.Get(path, [head](const httplib::Request&, httplib::Response& response) {
                response.set_content("<html><head>" + head + "</head><body>page</body></html>", "text/html");
            });
        };
        page("/sized/", R"(<link rel="icon" href="/favicon-32.png" sizes="32x32">
                           <link rel="apple-touch-icon" sizes="180x180" href="/touch-180.png">
                           <link rel="apple-touch-icon" sizes="57x57" href="touch-57.png">)");
        page("/svg-only", R"(<link rel="icon" href="/icon.svg">)");
        page("/plain", "<title>no icon here</title>");
        page("/to-file", R"(<link rel="icon" href="file:///etc/passwd">)");
        { std::ofstream(secret_) << "SECRET"; }
        page("/to-secret", "<link rel=\"icon\" href=\"file://" + secret_.string() + "\">");
        page("/to-missing", R"(<link rel="icon" href="/missing.png">)");
        page("/to-huge", R"(<link rel="icon" href="/huge.png">)");
        const auto icon = [&](const std::string& path, const std::string& bytes) {
            server.Get(path, [bytes](const httplib::Request&, httplib::Response& response) {
                response.set_content(bytes, "image/png");
            });
        };
        icon("/sized/touch-57.png", "ICON-57");
        icon("/touch-180.png", "ICON-180");
        icon("/favicon-32.png", "ICON-32");
        icon("/icon.svg", "<svg/>");
        icon("/favicon.ico", "FAVICON");
        icon("/huge.png", std::string(IconService::maxIconSize + 1, 'x'));
        server.Get("/counted/", [this](const httplib::Request&, httplib::Response& response) {
            const int seen = ++countedPages_;
            response.set_content("<html><head><link rel=\"icon\" href=\"/counted-" + std::to_string(seen) +
                                     ".png\"></head></html>",
                                 "text/html");
        });
        icon("/counted-1.png", "COUNTED-1");
        icon("/counted-2.png", "COUNTED-2");
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock lock(gateMutex_);
            gate_.wait_for(lock, 10s, [&] { return gateOpen_; });
            response.set_content("<html></html>", "text/html");
        });
        loopback_.start();
    }
    void TearDown() override {
        {
            std::lock_guard lock(gateMutex_);
            gateOpen_ = true;
            gate_.notify_all();
        }
        service_.reset();
        loopback_.stop();
    }

    URL url(const std::string& path) { return *URL::parse(loopback_.url(path)); }
    std::string iconOf(const std::string& path) {
        IconExpectation done;
        icons_.download(url(path), done.completion());
        return done.wait();
    }

    tallowmere::test::TempDir folder_;
    const std::filesystem::path secret_ = folder_.path() / "secret.png";
    std::atomic<int> countedPages_ = 0;
    std::mutex gateMutex_;
    std::condition_variable gate_;
    bool gateOpen_ = false;
    tallowmere::test::LoopbackServer loopback_;
    std::unique_ptr<WebService> service_ = std::make_unique<WebService>();
    IconService icons_{*service_};
};

TEST_F(IconServiceTest, DownloadsTheIconThePageNames) {
    // The preferred 57x57 link is path-relative, so it resolves against the page's folder.
    EXPECT_EQ(iconOf("/sized/"), "ICON-57");
}

TEST_F(IconServiceTest, ASitesAnswerServesItsNextLookupsWithoutAsking) {
    EXPECT_EQ(iconOf("/counted/"), "COUNTED-1");
    EXPECT_EQ(iconOf("/counted/"), "COUNTED-1") << "the page was asked for again";
    EXPECT_EQ(countedPages_.load(), 1);
}

TEST_F(IconServiceTest, ACancelledLookupIsNotRemembered) {
    IconExpectation cancelled;
    icons_.download(url("/slow"), cancelled.completion());
    icons_.cancel(url("/slow"));
    EXPECT_EQ(cancelled.wait(2s), "<none>");
    {
        std::lock_guard lock(gateMutex_);
        gateOpen_ = true;
        gate_.notify_all();
    }
    EXPECT_EQ(iconOf("/slow"), "FAVICON");
}

TEST_F(IconServiceTest, FallsBackToTheSiteFavicon) {
    EXPECT_EQ(iconOf("/svg-only"), "FAVICON");
    EXPECT_EQ(iconOf("/plain"), "FAVICON");
    EXPECT_EQ(iconOf("/no-such-page"), "FAVICON") << "a page that cannot be downloaded still has the site's favicon";
}

TEST_F(IconServiceTest, EndsWithNothingWhenTheIconCannotBeHad) {
    EXPECT_EQ(iconOf("/to-missing"), "<none>");
    EXPECT_EQ(iconOf("/to-huge"), "<none>") << "icons over the size cap are refused";
}

TEST_F(IconServiceTest, NeverReadsALocalFileThePageNames) {
    EXPECT_EQ(iconOf("/to-secret"), "<none>");
    EXPECT_EQ(iconOf("/to-file"), "<none>");
}

TEST_F(IconServiceTest, CancelEndsThePageDownloadWithNothing) {
    IconExpectation done;
    icons_.download(url("/slow"), done.completion());
    icons_.cancel(url("/slow"));
    // The page is held back for 10 s, and once answered it would give the
    // site's favicon: nothing before then is the cancellation's doing.
    EXPECT_EQ(done.wait(8s), "<none>");
}

TEST_F(IconServiceTest, LookupsOfOnePageAtOnceAllGetTheIcon) {
    // Several feeds of one site ask for its root page while the first lookup still waits for it.
    std::vector<std::unique_ptr<IconExpectation>> lookups;
    for (int index = 0; index < 6; ++index) {
        lookups.push_back(std::make_unique<IconExpectation>());
        icons_.download(url("/slow"), lookups.back()->completion());
    }
    {
        std::lock_guard lock(gateMutex_);
        gateOpen_ = true;
        gate_.notify_all();
    }
    for (auto& lookup : lookups) EXPECT_EQ(lookup->wait(), "FAVICON");
}

TEST(IconServiceAddressTest, MakesLinksAbsoluteAgainstThePage) {
    const auto page = *URL::parse("https://example.org:8443/blog/post.html?x=1");
    struct Case {
        std::optional<std::string> link;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"/favicon.ico", "https://example.org:8443/favicon.ico"},
        {"http://cdn.example.net/i.png", "http://cdn.example.net/i.png"},
        {"//cdn.example.net/i.png", "https://cdn.example.net/i.png"},
        {"img/i.png", "https://example.org:8443/blog/img/i.png"},
        {"../img/./i.png", "https://example.org:8443/img/i.png"},
        {"/a/../b/i.png", "https://example.org:8443/b/i.png"},
        {"not a url", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(IconService::absoluteURLString(item.link, page), item.expected) << item.link.value_or("<none>");
    }
    EXPECT_FALSE(IconService::absoluteURLString("/favicon.ico", *URL::parse("//example.org/")))
        << "a page without a scheme";
}

}  // namespace
