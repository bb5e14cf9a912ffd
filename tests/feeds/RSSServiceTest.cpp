#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "feeds/RSSParser.h"
#include "feeds/RSSService.h"
#include "feeds/WebService.h"
#include "platform/feedkit/FeedParser.h"
#include "support/Gate.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using tallowmere::RSSFeed;
using tallowmere::RSSParser;
using tallowmere::RSSService;
using tallowmere::RSSServiceError;
using tallowmere::URL;
using tallowmere::WebService;
using tallowmere::WebServiceHTTPInfo;

using tallowmere::test::Gate;

namespace {

URL url(const std::string& text) {
    auto parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return *parsed;
}

template <typename Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct Outcome {
    std::optional<RSSFeed> feed;
    std::optional<URL> url;
    std::optional<WebServiceHTTPInfo> httpInfo;
    std::optional<RSSServiceError> error;
};

// Counts the calls of one fetch's completion and keeps the last outcome.
class Recorder {
public:
    RSSService::Completion completion() {
        return [this](std::optional<RSSFeed> feed, URL url, std::optional<WebServiceHTTPInfo> info,
                      std::optional<RSSServiceError> error) {
            std::lock_guard lock(mutex_);
            ++calls_;
            outcome_ = Outcome{std::move(feed), std::move(url), std::move(info), std::move(error)};
            condition_.notify_all();
        };
    }
    Outcome wait() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(condition_.wait_for(lock, 10s, [&] { return calls_ > 0; })) << "no completion";
        return outcome_;
    }
    int calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    int calls_ = 0;
    Outcome outcome_;
};

// What the server was asked: the path and the "If-None-Match" value sent.
struct Seen {
    std::string path;
    std::string ifNoneMatch;
};

const std::string jsonFeed =
    R"({"version": "https://jsonfeed.org/version/1.1", "title": "JSON Found", "items": [{"id": "1", "title": "One", "content_text": "x"}]})";

class RSSServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& server = loopback_.server();
        // Recorded before any handler runs, so the record is complete once an answer arrives.
        server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            std::lock_guard lock(mutex_);
            seen_.push_back({request.path, request.get_header_value("If-None-Match")});
            return httplib::Server::HandlerResponse::Unhandled;
        });
        serveFixture("/site/blog/", "atom-page.html", "text/html");
        serveFixture("/site/feeds/atom.xml", "atom.xml", "application/atom+xml");
        serveFixture("/mixed", "mixed-page.html", "text/html");
        serveFixture("/feeds/rss.xml", "rss.xml", "application/rss+xml");
        serveFixture("/feeds/atom.xml", "atom.xml", "application/atom+xml");
        serveFixture("/feeds/feed.json", jsonFeed, "application/feed+json", false);
        serveFixture("/gone/feed", "rss.xml", "application/rss+xml");
        serveFixture("/windows-1252.xml", "windows-1252.xml", "application/xml");
        serveFixture("/iso-8859-15.xml", "iso-8859-15.xml", "application/xml");
        serveFixture("/windows-1252-comment.xml", "windows-1252-comment.xml", "application/xml");
        serveFixture("/broken-link/feed", "rss.xml", "application/rss+xml");
        const auto rss = tallowmere::test::readFixture("fetch/rss.xml");
        serveFixture("/spaced.xml", "\n \t\r\n" + rss + "\n\n", "application/xml", false);
        serveFixture("/nbsp.xml", "\xC2\xA0\n" + rss, "application/xml", false);
        serveFixture("/nbsp.json", "\xE2\x80\xA8 " + jsonFeed + "\xC2\xA0", "application/json", false);
        serveFixture("/broken-link",
                     R"(<html><head><link rel="alternate" type="application/rss+xml" href="/nowhere.xml">)"
                     "</head></html>",
                     "text/html", false, "\"page\"");
        serveStatus("/gone", 404, "gone-first");
        serveStatus("/missing", 404, "missing-first");
        serveStatus("/missing/feed", 404, "missing-second");
        serveStatus("/broken/feed", 404, "broken");
        serveStatus("/slashed/feed/", 404, "slashed");
        serveFixture("/elsewhere/posts/relative.xml",
                     "<rss><channel><title>R</title><link>../</link><item><title>t</title><link>one.html</link>"
                     "</item></channel></rss>",
                     "application/rss+xml", false);
        server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/elsewhere/posts/relative.xml");
        });
        serveFixture("/latin1-labelled",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>na\xEFve</title>"
                     "</channel></rss>",
                     "text/xml; charset=iso-8859-1", false);
        serveStatus("/nowhere.xml", 404, "nowhere");
        server.Get("/conditional", [rss](const httplib::Request& request, httplib::Response& response) {
            response.set_header("ETag", "\"v1\"");
            if (request.get_header_value("If-None-Match") == "\"v1\"") {
                response.status = 304;
                return;
            }
            response.set_content(rss, "application/rss+xml");
        });
        server.Get("/slow", [this, rss](const httplib::Request&, httplib::Response& response) {
            slowGate_.wait();
            response.set_content(rss, "application/rss+xml");
        });
        loopback_.start();
    }

    void TearDown() override { slowGate_.open(); }

    void serveFixture(const std::string& path, const std::string& source, const std::string& type,
                      bool fromFile = true, const std::string& eTag = {}) {
        const std::string body = fromFile ? tallowmere::test::readFixture("fetch/" + source) : source;
        loopback_.server().Get(path,
                               [body, type, eTag](const httplib::Request&, httplib::Response& response) {
                                   if (!eTag.empty()) response.set_header("ETag", eTag);
                                   response.set_content(body, type);
                               });
    }

    void serveStatus(const std::string& path, int status, const std::string& eTag) {
        loopback_.server().Get(path, [status, eTag](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_header("ETag", "\"" + eTag + "\"");
            response.set_content("<html><body>no such page</body></html>", "text/html");
        });
    }

    // Fetches as adding a feed does (or, with `adding` off, as a refresh does)
    // and checks that the completion ran exactly once.
    Outcome fetch(const std::string& path, bool adding = true,
                  std::optional<WebServiceHTTPInfo> httpInfo = {}, bool background = false) {
        Recorder recorder;
        const auto address = url(loopback_.url(path));
        service_.fetch(address, address, std::move(httpInfo), adding, adding, background,
                       recorder.completion());
        auto outcome = recorder.wait();
        settle();
        EXPECT_EQ(recorder.calls(), 1) << path;
        return outcome;
    }

    // Lets every step still queued run, so that a second completion or a late
    // request would show.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            EXPECT_TRUE(service_.feedURLs().empty());
            RSSParser::parseQueue().sync([] {});
        }
    }

    std::vector<std::string> paths() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        for (const auto& item : seen_) result.push_back(item.path);
        return result;
    }

    std::map<std::string, std::string> sentEntityTags() {
        std::lock_guard lock(mutex_);
        std::map<std::string, std::string> result;
        for (const auto& item : seen_) result[item.path] = item.ifNoneMatch;
        return result;
    }

    std::string address(const std::string& path) { return loopback_.url(path); }

    tallowmere::test::LoopbackServer loopback_;
    Gate slowGate_;
    std::mutex mutex_;
    std::vector<Seen> seen_;
    WebService webService_;
    RSSService service_{webService_};
};

using Paths = std::vector<std::string>;

TEST_F(RSSServiceTest, FollowsTheLinkAPageAnnouncesResolvedAgainstThePage) {
    const auto outcome = fetch("/site/blog/");
    ASSERT_TRUE(outcome.feed) << (outcome.error ? outcome.error->description() : "no error");
    EXPECT_EQ(outcome.feed->name, "Atom Found");
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.url->absoluteString(), address("/site/feeds/atom.xml"));
    EXPECT_EQ(paths(), (Paths{"/site/blog/", "/site/feeds/atom.xml"}));
}

TEST_F(RSSServiceTest, FollowsOnlyTheFirstRSSOrAtomLinkSpelledExactly) {
    const auto outcome = fetch("/mixed");
    ASSERT_TRUE(outcome.feed);
    EXPECT_EQ(outcome.feed->name, "RSS Found");
    EXPECT_EQ(outcome.url->absoluteString(), address("/feeds/rss.xml"));
    EXPECT_EQ(paths(), (Paths{"/mixed", "/feeds/rss.xml"}));
}

TEST(RSSServiceDiscoveryTest, PicksTheFirstQualifyingLink) {
    const auto page = url("http://example.org/blog/post?x=1");
    struct Case {
        std::string head;
        std::optional<std::string> found;
    };
    const Case cases[] = {
        {R"(<link rel="alternate" type="application/rss+xml" href="rss">)", "http://example.org/blog/rss"},
        {R"(<link rel="alternate" type="application/atom+xml" href="//other.example/a.xml">)",
         "http://other.example/a.xml"},
        {R"(<link rel="alternate" type="application/feed+json" href="/f.json">)", std::nullopt},
        {R"(<link rel="alternate" type="application/json" href="/f.json">)", std::nullopt},
        {R"(<link rel="alternate feed" type="application/rss+xml" href="/a.xml">)", std::nullopt},
        {R"(<link rel="alternate" type="application/rss+xml; charset=utf-8" href="/a.xml">)", std::nullopt},
        {R"(<link rel="ALTERNATE" type="application/atom+xml" href="/a.xml">)", std::nullopt},
        {R"(<link rel="alternate" type="application/rss+xml" href=" /a.xml">)", std::nullopt},
        {R"(<link rel="alternate" type="application/rss+xml">)", std::nullopt},
        {R"(<link rel="alternate" type="application/rss+xml" href="http://a b/">)"
         R"(<link rel="alternate" type="application/rss+xml" href="/second.xml">)",
         std::nullopt},
        {R"(<link rel="alternate" type="application/atom+xml" href="/atom.xml">)"
         R"(<link rel="alternate" type="application/rss+xml" href="/rss.xml">)",
         "http://example.org/atom.xml"},
    };
    for (const auto& item : cases) {
        const auto found = RSSService::discoveredFeedURL("<html><head>" + item.head + "</head></html>", page);
        if (!item.found) {
            EXPECT_FALSE(found) << item.head << " -> " << found->absoluteString();
            continue;
        }
        ASSERT_TRUE(found) << item.head;
        EXPECT_EQ(found->absoluteString(), *item.found) << item.head;
    }
    EXPECT_FALSE(RSSService::discoveredFeedURL("", page));
    EXPECT_FALSE(RSSService::discoveredFeedURL(std::string("\0\xFF\xFE", 3), page));
}

TEST_F(RSSServiceTest, RetriesAFailedAddressOnceWithFeedAppended) {
    const auto found = fetch("/gone");
    ASSERT_TRUE(found.feed);
    EXPECT_EQ(found.url->absoluteString(), address("/gone/feed"));
    EXPECT_EQ(paths(), (Paths{"/gone", "/gone/feed"}));
}

TEST_F(RSSServiceTest, ReportsTheRetrysAnswerWhenItFailsToo) {
    const auto outcome = fetch("/missing");
    EXPECT_FALSE(outcome.feed);
    EXPECT_EQ(outcome.url->absoluteString(), address("/missing/feed"));
    ASSERT_TRUE(outcome.httpInfo);
    EXPECT_EQ(outcome.httpInfo->eTag, "\"missing-second\"");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->statusCode(), 404);
    EXPECT_EQ(paths(), (Paths{"/missing", "/missing/feed"}));
}

TEST_F(RSSServiceTest, DoesNotRetryAnAddressThatEndsInFeed) {
    for (const std::string path : {"/broken/feed", "/slashed/feed/"}) {
        const auto outcome = fetch(path);
        EXPECT_FALSE(outcome.feed) << path;
        ASSERT_TRUE(outcome.error) << path;
        EXPECT_EQ(outcome.error->statusCode(), 404) << path;
        EXPECT_EQ(outcome.url->absoluteString(), address(path));
        EXPECT_EQ(paths().back(), path);
    }
    EXPECT_EQ(paths(), (Paths{"/broken/feed", "/slashed/feed/"}));
}

// Relative addresses resolve against where the feed was read from after
// redirects; a charset in the answer's Content-Type overrides the declaration.
TEST_F(RSSServiceTest, ReadsTheFeedAsTheAnswerDescribesIt) {
    const auto moved = fetch("/moved", false);
    ASSERT_TRUE(moved.feed);
    EXPECT_EQ(moved.feed->link, address("/elsewhere/"));
    ASSERT_EQ(moved.feed->articles.size(), 1u);
    EXPECT_EQ(moved.feed->articles[0].link(), address("/elsewhere/posts/one.html"));

    const auto labelled = fetch("/latin1-labelled", false);
    ASSERT_TRUE(labelled.feed);
    EXPECT_EQ(labelled.feed->name, "na\u00EFve");
}

TEST_F(RSSServiceTest, RetryAfterAFailedDiscoveredLinkIsBuiltFromThePageWithTheValuesSent) {
    Recorder recorder;
    const auto page = url(address("/broken-link"));
    service_.fetch(page, page, WebServiceHTTPInfo{std::nullopt, "\"start\""}, true, true, false,
                   recorder.completion());
    const auto outcome = recorder.wait();
    settle();
    EXPECT_EQ(recorder.calls(), 1);
    ASSERT_TRUE(outcome.feed);
    EXPECT_EQ(outcome.url->absoluteString(), address("/broken-link/feed"));
    EXPECT_EQ(paths(), (Paths{"/broken-link", "/nowhere.xml", "/broken-link/feed"}));
    // The discovered link goes out with the page's values, the retry with
    // those of the request that failed (not of its answer).
    const auto tags = sentEntityTags();
    EXPECT_EQ(tags.at("/broken-link"), "\"start\"");
    EXPECT_EQ(tags.at("/nowhere.xml"), "\"page\"");
    EXPECT_EQ(tags.at("/broken-link/feed"), "\"page\"");
}

TEST_F(RSSServiceTest, ARefreshNeitherFollowsLinksNorRetries) {
    for (const std::string path : {"/site/blog/", "/gone"}) {
        const auto outcome = fetch(path, false);
        EXPECT_FALSE(outcome.feed) << path;
        EXPECT_TRUE(outcome.error) << path;
        EXPECT_EQ(outcome.url->absoluteString(), address(path));
    }
    EXPECT_EQ(paths(), (Paths{"/site/blog/", "/gone"}));
}

TEST_F(RSSServiceTest, ReadsFeedsSurroundedByWhiteSpace) {
    // Unicode white space hides a JSON feed from the first read; only the
    // read of the trimmed text finds it.
    const auto rawJSON = tallowmere::feedkit::FeedParser("\xE2\x80\xA8 " + jsonFeed + "\xC2\xA0").parse();
    ASSERT_FALSE(rawJSON.isSuccess()) << "the case no longer needs the second read";
    struct Case {
        std::string path;
        std::string name;
        bool firstReadFindsIt;
    };
    const Case cases[] = {{"/spaced.xml", "RSS Found", true},
                          {"/nbsp.xml", "RSS Found", false},
                          {"/nbsp.json", "JSON Found", false}};
    for (const auto& item : cases) {
        // The trimmed text is read last, when no retry took over.
        const auto outcome = fetch(item.path, false);
        ASSERT_TRUE(outcome.feed) << item.path << ": "
                                  << (outcome.error ? outcome.error->description() : "no error");
        EXPECT_EQ(outcome.feed->name, item.name);
        EXPECT_FALSE(outcome.error);
        EXPECT_EQ(outcome.url->absoluteString(), address(item.path));

        const auto added = fetch(item.path, true);
        if (item.firstReadFindsIt) {
            ASSERT_TRUE(added.feed) << item.path;
            EXPECT_EQ(added.url->absoluteString(), address(item.path));
        } else {
            EXPECT_FALSE(added.feed) << item.path;
            EXPECT_EQ(added.url->absoluteString(), address(item.path + "/feed"));
        }
    }
}

TEST_F(RSSServiceTest, ReencodesSingleByteFeeds) {
    struct Case {
        std::string path;
        std::string name;
        std::string item;
    };
    const Case cases[] = {
        {"/windows-1252.xml", "Caf\u00e9 \u20ac \u201cquoted\u201d", "Na\u00efve"},
        {"/iso-8859-15.xml", "Prix \u20ac \u0153", "\u0160a"},
        // Only the re-encoding reads this one right: the XML reader sees no declaration.
        {"/windows-1252-comment.xml", "Caf\u00e9 \u20ac \u201cquoted\u201d", "Na\u00efve"},
    };
    for (const auto& item : cases) {
        const auto outcome = fetch(item.path, false);
        ASSERT_TRUE(outcome.feed) << item.path;
        EXPECT_EQ(outcome.feed->name, item.name);
        ASSERT_EQ(outcome.feed->articles.size(), 1u);
        EXPECT_EQ(outcome.feed->articles.front().title(), item.item);
    }
}

TEST_F(RSSServiceTest, NotModifiedIsNeitherAFeedNorAnError) {
    const auto first = fetch("/conditional", false);
    ASSERT_TRUE(first.feed);
    ASSERT_TRUE(first.httpInfo);
    EXPECT_EQ(first.httpInfo->eTag, "\"v1\"");
    EXPECT_FALSE(first.httpInfo->isNotModified());

    for (bool adding : {false, true}) {
        const auto again = fetch("/conditional", adding, first.httpInfo);
        EXPECT_FALSE(again.feed);
        EXPECT_FALSE(again.error) << again.error->description();
        ASSERT_TRUE(again.httpInfo);
        EXPECT_TRUE(again.httpInfo->isNotModified());
        EXPECT_EQ(again.httpInfo->statusCode, 304);
        EXPECT_EQ(again.httpInfo->eTag, "\"v1\"");
        EXPECT_EQ(again.url->absoluteString(), address("/conditional"));
    }
    // Not modified is no failure: nothing was retried.
    EXPECT_EQ(paths(), (Paths{"/conditional", "/conditional", "/conditional"}));
    EXPECT_EQ(sentEntityTags().at("/conditional"), "\"v1\"");
}

TEST_F(RSSServiceTest, BackgroundFetchReportsNoHTTPInfo) {
    const auto outcome = fetch("/conditional", false, std::nullopt, true);
    ASSERT_TRUE(outcome.feed);
    EXPECT_FALSE(outcome.httpInfo);
}

TEST_F(RSSServiceTest, CancelAllEndsAFetchWithoutRetrying) {
    Recorder recorder;
    const auto slow = url(address("/slow"));
    service_.fetch(slow, slow, std::nullopt, true, true, false, recorder.completion());
    ASSERT_TRUE(waitUntil([&] { return paths() == Paths{"/slow"}; }));
    EXPECT_EQ(service_.feedURLs(), (std::set<std::string>{address("/slow")}));

    service_.cancelAll();
    const auto outcome = recorder.wait();
    EXPECT_FALSE(outcome.feed);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_EQ(outcome.url->absoluteString(), address("/slow"));
    slowGate_.open();
    settle();
    EXPECT_EQ(recorder.calls(), 1);
    EXPECT_EQ(paths(), (Paths{"/slow"})) << "a cancelled fetch went on to another request";
}

TEST_F(RSSServiceTest, CancelAllBetweenTwoRequestsStopsTheChain) {
    // Hold the parser so that cancelAll lands after the page's answer and
    // before the announced link would be requested.
    Gate parserGate;
    RSSParser::parseQueue().async([&] { parserGate.wait(); });
    struct Opener {
        Gate& gate;
        ~Opener() { gate.open(); }
    } opener{parserGate};

    Recorder recorder;
    const auto page = url(address("/site/blog/"));
    service_.fetch(page, page, std::nullopt, true, true, false, recorder.completion());
    ASSERT_TRUE(waitUntil([&] { return paths() == Paths{"/site/blog/"} && service_.feedURLs().empty(); }));
    service_.cancelAll();
    service_.feedURLs();  // cancelAll has run
    parserGate.open();

    const auto outcome = recorder.wait();
    settle();
    EXPECT_EQ(recorder.calls(), 1);
    EXPECT_FALSE(outcome.feed);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->isCancelled());
    EXPECT_EQ(paths(), (Paths{"/site/blog/"}));

    // Fetches started after the cancellation are not affected.
    const auto later = fetch("/site/blog/");
    EXPECT_TRUE(later.feed);
}

TEST_F(RSSServiceTest, ManyFetchesAtOnceEachCompleteOnce) {
    const std::vector<std::string> pathList = {"/site/blog/",       "/mixed",       "/gone",
                                               "/missing",          "/broken/feed", "/spaced.xml",
                                               "/windows-1252.xml", "/broken-link"};
    std::vector<std::unique_ptr<Recorder>> recorders;
    for (const auto& path : pathList) {
        recorders.push_back(std::make_unique<Recorder>());
        const auto address = url(loopback_.url(path));
        service_.fetch(address, address, std::nullopt, true, true, false, recorders.back()->completion());
    }
    for (size_t index = 0; index < pathList.size(); ++index) {
        const auto outcome = recorders[index]->wait();
        const bool failing = pathList[index] == "/missing" || pathList[index] == "/broken/feed";
        EXPECT_EQ(outcome.feed.has_value(), !failing) << pathList[index];
    }
    settle();
    for (auto& recorder : recorders) EXPECT_EQ(recorder->calls(), 1);
}

}  // namespace
