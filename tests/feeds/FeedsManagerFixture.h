#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "feeds/FeedsManager.h"
#include "feeds/IconService.h"
#include "feeds/PrefetchManager.h"
#include "feeds/RSSService.h"
#include "feeds/SearchManagerFeedsIndex.h"
#include "feeds/WebService.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"
#include "sources/TagsSource.h"
#include "store/DataController.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace tallowmere::test {

using namespace std::chrono_literals;

// One item of a served feed document.
struct ServedItem {
    std::string id;               // the article page is /articles/<id>
    std::chrono::seconds age{0};  // how long before now it is dated (negative: in the future)
    std::string text = "Some words about the subject of this item.";
    std::set<std::string> tags = {};
};

// A feed document the server answers with, its validators and status.
struct ServedFeed {
    std::string title = "A feed";
    std::vector<ServedItem> items;
    int status = 200;
    std::string eTag;
    // Holds the answer until the gate is opened.
    bool slow = false;
    // Sends the start of a document one byte a second until the gate opens.
    bool trickle = false;
    // When set, the document is a web page that announces this feed path.
    std::optional<std::string> announces;
};

// A request the server saw.
struct SeenRequest {
    std::string path;
    std::string ifNoneMatch;
    std::string ifModifiedSince;
};

// A loopback server of feed documents, article pages and a site icon, which
// records every request and how many feed requests it answered at once.
class FeedServer {
public:
    static constexpr const char* lastModified = "Wed, 09 Dec 2026 10:00:00 GMT";
    static inline const std::string iconBytes = std::string("\x89PNG\r\n\x1a\nicon", 12);

    FeedServer() {
        server_.server().Get(R"(/feeds/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
            serveFeed(request, response);
        });
        server_.server().Get(R"(/articles/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.set_content("<html><head><title>Page</title></head><body><article><p>" +
                                     std::string(400, 'x') + "</p></article></body></html>",
                                 "text/html");
        });
        server_.server().Get("/", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.set_content(R"(<html><head><link rel="icon" href="/icon.png"></head><body></body></html>)",
                                 "text/html");
        });
        server_.server().Get("/icon.png", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.set_content(iconBytes, "image/png");
        });
        server_.start();
    }
    ~FeedServer() {
        openGate();
        server_.stop();
    }

    std::string url(const std::string& path) const { return server_.url(path); }
    std::string feedURL(const std::string& name) const { return url("/feeds/" + name); }

    void setFeed(const std::string& name, ServedFeed feed) {
        std::lock_guard lock(mutex_);
        feeds_[name] = std::move(feed);
    }
    void update(const std::string& name, const std::function<void(ServedFeed&)>& change) {
        std::lock_guard lock(mutex_);
        change(feeds_[name]);
    }
    std::vector<SeenRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<SeenRequest> requests(const std::string& path) const {
        std::vector<SeenRequest> matching;
        for (const SeenRequest& request : requests())
            if (request.path == path) matching.push_back(request);
        return matching;
    }
    int maxFeedRequestsAtOnce() const { return maxActive_.load(); }
    int slowRequestsWaiting() const { return slowWaiting_.load(); }
    void openGate() {
        std::lock_guard lock(mutex_);
        gateOpen_ = true;
        gate_.notify_all();
    }

    static std::string rfc822(std::chrono::system_clock::time_point time) {
        std::time_t seconds = std::chrono::system_clock::to_time_t(time);
        std::tm parts{};
        gmtime_r(&seconds, &parts);
        char text[64];
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &parts);
        return text;
    }

private:
    void record(const httplib::Request& request) {
        std::lock_guard lock(mutex_);
        requests_.push_back(SeenRequest{request.path, request.get_header_value("If-None-Match"),
                                        request.get_header_value("If-Modified-Since")});
    }

    void serveFeed(const httplib::Request& request, httplib::Response& response) {
        record(request);
        const int active = ++active_;
        for (int seen = maxActive_.load(); active > seen && !maxActive_.compare_exchange_weak(seen, active);) {
        }
        std::optional<ServedFeed> feed;
        {
            std::unique_lock lock(mutex_);
            auto found = feeds_.find(request.matches[1]);
            if (found != feeds_.end()) feed = found->second;
            if (feed && feed->slow) {
                ++slowWaiting_;
                gate_.wait_for(lock, 20s, [&] { return gateOpen_; });
                --slowWaiting_;
            }
        }
        // Long enough for overlapping requests to be seen as overlapping.
        std::this_thread::sleep_for(20ms);
        --active_;
        if (feed && feed->trickle) {
            trickle(response);
            return;
        }
        if (!feed) {
            response.status = 404;
            return;
        }
        respond(*feed, request, response);
    }

    void trickle(httplib::Response& response) {
        response.set_chunked_content_provider("application/rss+xml", [this](size_t, httplib::DataSink& sink) {
            const std::string start = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>";
            for (std::size_t sent = 0; sent < start.size(); ++sent) {
                if (!sink.write(start.data() + sent, 1)) return false;
                std::unique_lock lock(mutex_);
                if (gate_.wait_for(lock, 1s, [&] { return gateOpen_; })) break;
            }
            sink.done();
            return true;
        });
    }

    void respond(const ServedFeed& feed, const httplib::Request& request, httplib::Response& response) const {
        if (feed.status != 200) {
            response.status = feed.status;
            return;
        }
        if (feed.announces) {
            response.set_content("<html><head><link rel=\"alternate\" type=\"application/rss+xml\" href=\"/feeds/" +
                                     *feed.announces + "\"></head><body>A page</body></html>",
                                 "text/html");
            return;
        }
        if (!feed.eTag.empty()) {
            response.set_header("ETag", feed.eTag);
            response.set_header("Last-Modified", lastModified);
            if (request.get_header_value("If-None-Match") == feed.eTag) {
                response.status = 304;
                return;
            }
        }
        response.set_content(document(feed), "application/rss+xml");
    }

    std::string document(const ServedFeed& feed) const {
        // Dates count back from when the server started, so every answer of an
        // unchanged feed is the same document, whenever it is fetched.
        const auto now = startedAt_;
        std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + feed.title +
                          "</title><link>" + server_.url("/blog/") + "</link><description>d</description>";
        for (const ServedItem& item : feed.items) {
            xml += "<item><title>Item " + item.id + "</title><link>" + server_.url("/articles/" + item.id) +
                   "</link><pubDate>" + rfc822(now - item.age) + "</pubDate>";
            if (!item.text.empty()) xml += "<description>" + item.text + " " + item.id + "</description>";
            for (const std::string& tag : item.tags) xml += "<category>" + tag + "</category>";
            xml += "</item>";
        }
        return xml + "</channel></rss>";
    }

    LoopbackServer server_;
    const std::chrono::system_clock::time_point startedAt_ = std::chrono::system_clock::now();
    mutable std::mutex mutex_;
    std::condition_variable gate_;
    bool gateOpen_ = false;
    std::map<std::string, ServedFeed> feeds_;
    std::vector<SeenRequest> requests_;
    std::atomic<int> active_{0};
    std::atomic<int> maxActive_{0};
    std::atomic<int> slowWaiting_{0};
};

// The search index operations, counted on their way to the real index.
class CountingSearchIndex final : public FeedsSearchIndex {
public:
    explicit CountingSearchIndex(SearchManager& manager) : index_(manager) {}
    void indexArticle(const Article& article) override { index_.indexArticle(article); }
    std::optional<std::string> documentURI(const Article& article) override { return index_.documentURI(article); }
    void removeDocument(const std::string& uri) override {
        ++removals;
        index_.removeDocument(uri);
    }
    void compactIndex() override {
        ++compactions;
        index_.compactIndex();
    }
    std::atomic<int> removals{0};
    std::atomic<int> compactions{0};

private:
    SearchManagerFeedsIndex index_;
};

// The real store, node and article sources, search index, fetcher, icons
// and prefetcher over a fresh folder, with the test thread as main thread.
class FeedsManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "store" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok());
        dataController = opened.value();
        searchManager =
            std::make_unique<SearchManager>(dir.path() / "index" / "Tallowmere.index", dataController);
        // Deleting nodes takes their articles out of this test's index, not the program's.
        nodes = NodesSource::make(dataController, std::make_shared<SearchManagerIndexing>(*searchManager));
        articles = std::make_unique<ArticlesSource>(
            dataController,
            [nodes = nodes]() -> std::optional<std::vector<Feed>> { return nodes->allFeeds(); });
        search = std::make_shared<CountingSearchIndex>(*searchManager);
        webService = std::make_unique<WebService>();
        rssService = std::make_unique<RSSService>(*webService);
        iconService = std::make_unique<IconService>(*webService);
        prefetchManager = std::make_unique<PrefetchManager>(*webService);
        manager = std::make_unique<FeedsManager>(collaborators());
    }

    void TearDown() override {
        // The clients first, so the server is not left waiting on their
        // kept-alive connections.
        manager.reset();
        prefetchManager.reset();
        iconService.reset();
        rssService.reset();
        webService.reset();
        server.reset();
        drainMain();
        // Its queue must not run blocks that call back into it while it goes.
        waitForSearchQueue();
        searchManager.reset();
        articles.reset();
        nodes.reset();
        dataController.reset();
        drainMain();
    }

    FeedsManager::Collaborators collaborators(std::chrono::milliseconds answerTimeout = 30s) {
        return FeedsManager::Collaborators{dataController, nodes, articles.get(), &TagsSource::shared(), search,
                                           prefetchManager.get(), rssService.get(), iconService.get(),
                                           webService.get(), [] { return false; }, answerTimeout};
    }

    // Puts a web service with these deadlines (and clients of it) in place.
    void useDeadlines(WebServiceDeadlines deadlines) {
        manager.reset();
        prefetchManager.reset();
        iconService.reset();
        rssService.reset();
        webService = std::make_unique<WebService>(deadlines);
        rssService = std::make_unique<RSSService>(*webService);
        iconService = std::make_unique<IconService>(*webService);
        prefetchManager = std::make_unique<PrefetchManager>(*webService);
        manager = std::make_unique<FeedsManager>(collaborators());
    }

    static void drainMain() { dispatch::MainQueue::shared().drain(); }
    static bool runMainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 60s) {
        return dispatch::MainQueue::shared().runUntil(done, timeout);
    }

    // One add's outcome, once its completion has run.
    struct AddOutcome {
        std::atomic<int> calls{0};
        std::optional<FeedsManagerError> error;
        bool done() const { return calls.load() > 0; }
    };
    std::shared_ptr<AddOutcome> add(const std::string& url, std::optional<std::string> folder = std::nullopt,
                                    AddFeedOptions options = AddFeedOptions::all()) {
        auto outcome = std::make_shared<AddOutcome>();
        manager->addFeed(url, folder, options, [outcome](bool, std::optional<FeedsManagerError> error) {
            outcome->error = std::move(error);
            ++outcome->calls;
        });
        return outcome;
    }
    std::optional<FeedsManagerError> addAndWait(const std::string& url,
                                                std::optional<std::string> folder = std::nullopt) {
        auto outcome = add(url, std::move(folder));
        EXPECT_TRUE(runMainUntil([&] { return outcome->done(); })) << url;
        return outcome->error;
    }

    struct RefreshOutcome {
        std::atomic<int> calls{0};
        std::optional<RSSServiceError> error;
    };
    std::shared_ptr<RefreshOutcome> refreshAllAndWait(bool flag = false) {
        auto outcome = std::make_shared<RefreshOutcome>();
        manager->refreshAllFeeds(flag, [outcome](std::optional<RSSServiceError> error) {
            outcome->error = std::move(error);
            ++outcome->calls;
        });
        EXPECT_TRUE(runMainUntil([&] { return outcome->calls.load() > 0; }));
        return outcome;
    }

    // Reads in the background context, where the node source's objects live.
    template <typename Result, typename Block>
    Result inBackground(Block&& block) {
        Result result{};
        dataController->backgroundContext()->performAndWait([&] { result = block(); });
        return result;
    }
    std::optional<Feed> storedFeed(const std::string& url) { return nodes->feed(*URL::parse(url)); }
    std::vector<std::string> articleLinks(const std::string& feedURL) {
        std::optional<Feed> feed = storedFeed(feedURL);
        if (!feed) return {};
        return inBackground<std::vector<std::string>>([&] {
            std::vector<std::string> links;
            for (const Article& article : feed->articles()) links.push_back(article.link().value_or(""));
            return links;
        });
    }
    std::optional<graph::Date> lastUpdate(const std::string& feedURL) {
        std::optional<Feed> feed = storedFeed(feedURL);
        if (!feed) return std::nullopt;
        return inBackground<std::optional<graph::Date>>([&] { return feed->lastUpdate(); });
    }
    // The IDs the index answers for the text, once the search is done.
    std::vector<graph::ObjectID> searchIDs(const std::string& text) {
        auto found = std::make_shared<std::vector<graph::ObjectID>>();
        auto done = std::make_shared<std::atomic<bool>>(false);
        searchManager->search(
            text, [found](std::vector<graph::ObjectID> ids) { found->insert(found->end(), ids.begin(), ids.end()); },
            [done] { *done = true; });
        EXPECT_TRUE(runMainUntil([&] { return done->load(); }));
        return *found;
    }
    // Waits until the search queue has run what is queued now.
    void waitForSearchQueue() { searchManager->searchQueue().sync([] {}); }
    void waitForArticleQueue() { manager->addArticleQueue().sync([] {}); }

    TempDir dir;
    std::unique_ptr<FeedServer> server = std::make_unique<FeedServer>();
    std::shared_ptr<DataController> dataController;
    std::shared_ptr<NodesSource> nodes;
    std::unique_ptr<ArticlesSource> articles;
    std::unique_ptr<SearchManager> searchManager;
    std::shared_ptr<CountingSearchIndex> search;
    std::unique_ptr<WebService> webService;
    std::unique_ptr<RSSService> rssService;
    std::unique_ptr<IconService> iconService;
    std::unique_ptr<PrefetchManager> prefetchManager;
    std::unique_ptr<FeedsManager> manager;
};

inline ServedItem servedItem(std::string id, std::chrono::seconds age) {
    ServedItem item;
    item.id = std::move(id);
    item.age = age;
    return item;
}

inline ServedFeed servedFeed(std::string title, std::vector<ServedItem> items, int status = 200) {
    ServedFeed feed;
    feed.title = std::move(title);
    feed.items = std::move(items);
    feed.status = status;
    return feed;
}

// Items "<prefix>0" … "<prefix>(count-1)", newest first, an hour apart,
// the newest dated `newest` ago.
inline std::vector<ServedItem> servedItems(const std::string& prefix, int count,
                                           std::chrono::seconds newest = std::chrono::hours(1)) {
    std::vector<ServedItem> items;
    for (int index = 0; index < count; ++index)
        items.push_back(servedItem(prefix + std::to_string(index), newest + std::chrono::hours(index)));
    return items;
}

}  // namespace tallowmere::test

namespace tallowmere {
// How a failed expectation shows an error.
inline void PrintTo(const FeedsManagerError& error, std::ostream* out) {
    *out << "FeedsManagerError(" << static_cast<int>(error.kind()) << ", " << error.urlString() << ")";
}
}  // namespace tallowmere
