// Object-graph layer at the sizes users reach: 1 000 feeds, 100 000 articles.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include "platform/dispatch/MainQueue.h"
#include "platform/graph/Container.h"
#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/Store.h"
#include "support/TempDir.h"

using namespace tallowmere;
using namespace tallowmere::graph;

namespace {
constexpr int kFeeds = 1000;
constexpr int kArticles = 100000;
constexpr int kSaveEvery = 100;

ModelDescription benchModel() {
    ModelDescription model;
    model.entity("Node")
        .attribute("name", AttributeType::string)
        .attribute("priority", AttributeType::integer16)
        .attribute("sortName", AttributeType::string)
        .attribute("sortValue", AttributeType::integer64);
    model.entity("Feed", "Node")
        .attribute("url", AttributeType::string)
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("lastUpdate", AttributeType::date)
        .orderedToMany("articles", "Article", "feed", DeleteRule::cascade)
        .toOne("folder", "Folder", "feeds")
        .toMany("unreadArticles", "Article", "unreadInFeed")
        .toMany("starredArticles", "Article", "starredInFeed");
    model.entity("Folder", "Node").attribute("closed", AttributeType::boolean).toMany("feeds", "Feed", "folder", DeleteRule::cascade);
    model.entity("Article")
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("title", AttributeType::string)
        .attribute("link", AttributeType::string)
        .attribute("descriptionContent", AttributeType::string)
        .attribute("previewContent", AttributeType::string)
        .attribute("textContent", AttributeType::string)
        .attribute("date", AttributeType::date)
        .attribute("readDate", AttributeType::date)
        .attribute("createdAt", AttributeType::date)
        .toOne("feed", "Feed", "articles")
        .toOne("unreadInFeed", "Feed", "unreadArticles")
        .toOne("starredInFeed", "Feed", "starredArticles")
        .toMany("tags", "Tag", "articles")
        .index({"date"})
        .index({"tallowmereHash"})
        // As the stored model: the list's columns in one index, the text left
        // in the store by list loads.
        .index({"date", "unreadInFeed", "readDate", "starredInFeed", "feed"})
        .loadOnDemand({"previewContent", "textContent"});
    model.entity("Tag").attribute("name", AttributeType::string).toMany("articles", "Article", "tags");
    return model;
}

const std::string kDescription(200, 'd');
// About 1 KB of text per article, as feeds deliver it (the HTML a little longer).
std::string textOf(int n) {
    std::string text;
    for (int word = 0; text.size() < 1000; ++word) text += "word" + std::to_string((n * 31 + word * 17) % 5000) + " ";
    return text;
}

std::shared_ptr<Container> openStore(const std::string& path) {
    auto opened = Container::open(path, benchModel());
    if (!opened) {
        std::fprintf(stderr, "open failed: %s\n", opened.error().message.c_str());
        std::abort();
    }
    return opened.value();
}

std::vector<ObjectID> insertFeeds(Context& context) {
    std::vector<ObjectID> ids;
    context.performAndWait([&] {
        std::vector<ObjectPtr> feeds;
        for (int f = 0; f < kFeeds; ++f) {
            auto feed = context.insert("Feed");
            feed->setString("name", "Feed " + std::to_string(f));
            feed->setString("sortName", "1 feed " + std::to_string(f));
            feed->setString("url", "https://feed" + std::to_string(f) + ".example/rss");
            feeds.push_back(feed);
        }
        if (!context.save()) std::abort();
        for (auto& feed : feeds) ids.push_back(feed->objectID());
    });
    return ids;
}

// Articles of feed f at dates spread over the past.
void insertArticles(Context& context, const std::vector<ObjectID>& feeds, int count, int firstNumber) {
    for (int start = 0; start < count; start += kSaveEvery) {
        context.performAndWait([&] {
            for (int i = start; i < std::min(count, start + kSaveEvery); ++i) {
                const int n = firstNumber + i;
                auto feed = context.object(feeds[static_cast<std::size_t>(n % kFeeds)]);
                auto article = context.insert("Article");
                article->setString("title", "Article " + std::to_string(n));
                article->setString("link", "https://example.org/a/" + std::to_string(n));
                article->setString("descriptionContent", kDescription);
                const std::string text = textOf(n);
                article->setString("textContent", text);
                article->setString("previewContent", "<p>" + text + "</p>");
                article->setInteger("tallowmereHash", n * 7919LL);
                article->setDate("date", Date{1.7e9 + n});
                article->setDate("createdAt", Date{1.7e9 + n});
                article->setToOne("feed", feed);
                article->setToOne("unreadInFeed", feed);
            }
            if (!context.save()) std::abort();
        });
    }
}

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

// One store of the full size, built once for the read benchmarks.
struct Populated {
    tallowmere::test::TempDir dir;
    std::shared_ptr<Container> container;
    std::vector<ObjectID> feeds;
    Populated() {
        dispatch::MainQueue::shared().adoptCurrentThread();
        container = openStore((dir.path() / "bench.sqlite").string());
        auto context = container->newPrivateContext("bench_fill_queue");
        feeds = insertFeeds(*context);
        insertArticles(*context, feeds, kArticles, 0);
        dispatch::MainQueue::shared().drain();
    }
};
Populated& populated() {
    static Populated store;
    return store;
}

void BM_InsertArticlesThroughContext(benchmark::State& state) {
    dispatch::MainQueue::shared().adoptCurrentThread();
    for (auto _ : state) {
        state.PauseTiming();
        tallowmere::test::TempDir dir;
        auto container = openStore((dir.path() / "insert.sqlite").string());
        auto context = container->newPrivateContext("bench_insert_queue");
        auto feeds = insertFeeds(*context);
        state.ResumeTiming();
        insertArticles(*context, feeds, kArticles, 0);
        state.PauseTiming();
        context.reset();
        container.reset();
        dispatch::MainQueue::shared().drain();
        state.ResumeTiming();
    }
    state.counters["articles_per_s"] = benchmark::Counter(kArticles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_InsertArticlesThroughContext)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same rows with raw prepared statements, in transactions of 100.
void BM_InsertArticlesRawSql(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        tallowmere::test::TempDir dir;
        const std::string path = (dir.path() / "raw.sqlite").string();
        { openStore(path); }  // the same schema
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* feed = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO node(id, entity, name, url) VALUES(?1, 'Feed', ?2, ?3)", -1, &feed, nullptr);
        for (int f = 1; f <= kFeeds; ++f) {
            std::string name = "Feed " + std::to_string(f), url = "https://feed" + std::to_string(f) + ".example/rss";
            sqlite3_bind_int(feed, 1, f);
            sqlite3_bind_text(feed, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(feed, 3, url.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(feed);
            sqlite3_reset(feed);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(feed);
        state.ResumeTiming();
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO article(id, tallowmereHash, title, link, descriptionContent, date, createdAt, feed_id, "
                           "feed_order, unreadInFeed_id, textContent, previewContent) "
                           "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?8, ?10, ?11)",
                           -1, &insert, nullptr);
        std::vector<int> order(kFeeds + 1, 0);
        for (int start = 0; start < kArticles; start += kSaveEvery) {
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            for (int n = start; n < start + kSaveEvery; ++n) {
                const int f = n % kFeeds + 1;
                std::string title = "Article " + std::to_string(n), link = "https://example.org/a/" + std::to_string(n);
                sqlite3_bind_int64(insert, 1, n + 1);
                sqlite3_bind_int64(insert, 2, n * 7919LL);
                sqlite3_bind_text(insert, 3, title.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 4, link.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 5, kDescription.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(insert, 6, 1.7e9 + n);
                sqlite3_bind_double(insert, 7, 1.7e9 + n);
                sqlite3_bind_int(insert, 8, f);
                sqlite3_bind_int(insert, 9, ++order[static_cast<std::size_t>(f)]);
                const std::string text = textOf(n), html = "<p>" + text + "</p>";
                sqlite3_bind_text(insert, 10, text.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 11, html.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        sqlite3_finalize(insert);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.counters["articles_per_s"] = benchmark::Counter(kArticles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_InsertArticlesRawSql)->Iterations(1)->Unit(benchmark::kMillisecond);

FetchRequest allArticlesByDate() {
    FetchRequest request("Article");
    request.sortDescriptors = {{"date", false, false}};
    request.batchSize = 100;
    request.prefetchKeyPaths = {"feed"};
    return request;
}

void BM_ControllerFetchToFirstRow(benchmark::State& state) {
    auto& store = populated();
    auto main = store.container->mainContext();
    double listMegabytes = 0;
    long residentGrowth = 0;
    for (auto _ : state) {
        const long residentBefore = residentKilobytes();
        const auto heapBefore = mallinfo2().uordblks;
        FetchedResultsController controller(main, allArticlesByDate());
        if (auto fetched = controller.performFetch(); !fetched) {
            std::fprintf(stderr, "fetch failed: %s\n", fetched.error().message.c_str());
            std::abort();
        }
        auto first = controller.object({0, 0});
        benchmark::DoNotOptimize(first->string("title"));
        state.PauseTiming();
        listMegabytes = static_cast<double>(mallinfo2().uordblks - heapBefore) / (1024.0 * 1024.0);
        residentGrowth = std::max(residentGrowth, residentKilobytes() - residentBefore);
        if (controller.count() != static_cast<std::size_t>(kArticles)) {
            std::fprintf(stderr, "expected %d rows, got %zu\n", kArticles, controller.count());
            std::abort();
        }
        state.ResumeTiming();
    }
    // Heap held by the controller (IDs, sort keys, one batch of objects), and
    // the growth of the resident set over the first fetch.
    state.counters["list_heap_MB"] = listMegabytes;
    state.counters["resident_growth_MB"] = static_cast<double>(residentGrowth) / 1024.0;
}
BENCHMARK(BM_ControllerFetchToFirstRow)->Unit(benchmark::kMillisecond)->Iterations(5);

struct Timer : FetchedResultsDelegate {
    std::chrono::steady_clock::time_point reported;
    int changes = 0;
    bool done = false;
    void controllerDidChangeObject(FetchedResultsController&, const ObjectID&, std::optional<IndexPath>, ResultsChange,
                                   std::optional<IndexPath>) override {
        ++changes;
    }
    void controllerDidChangeContent(FetchedResultsController&) override {
        reported = std::chrono::steady_clock::now();
        done = true;
    }
};

void measureReportAfterBackgroundSave(benchmark::State& state, const FetchRequest& request) {
    auto& store = populated();
    auto main = store.container->mainContext();
    auto background = store.container->newPrivateContext("bench_background_queue");
    FetchedResultsController controller(main, request);
    if (!controller.performFetch()) std::abort();
    Timer timer;
    controller.setDelegate(&timer);
    static int next = kArticles * 2;
    for (auto _ : state) {
        state.PauseTiming();
        timer.done = false;
        timer.changes = 0;
        insertArticles(*background, store.feeds, kSaveEvery, next);  // one save of 100
        next += kSaveEvery;
        auto saved = std::chrono::steady_clock::now();
        state.ResumeTiming();
        dispatch::MainQueue::shared().runUntil([&] { return timer.done; });
        state.PauseTiming();
        if (timer.changes != kSaveEvery) std::abort();
        state.SetIterationTime(std::chrono::duration<double>(timer.reported - saved).count());
        state.ResumeTiming();
    }
}

// From the end of the background save to the delegate's did-change.
void BM_ControllerReportAfterBackgroundSave(benchmark::State& state) {
    measureReportAfterBackgroundSave(state, allArticlesByDate());
}
BENCHMARK(BM_ControllerReportAfterBackgroundSave)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

// The same, grouped by feed: the feeds the save touches change too (their
// article sets), yet the list stays incremental.
void BM_GroupedControllerReportAfterBackgroundSave(benchmark::State& state) {
    FetchRequest request = allArticlesByDate();
    request.sortDescriptors.insert(request.sortDescriptors.begin(), SortDescriptor{"feed.sortName", true, true});
    measureReportAfterBackgroundSave(state, request);
}
BENCHMARK(BM_GroupedControllerReportAfterBackgroundSave)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_MarkTenThousandRead(benchmark::State& state) {
    auto& store = populated();
    auto context = store.container->newPrivateContext("bench_mark_queue");
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ObjectPtr> articles;
        context->performAndWait([&] {
            FetchRequest request("Article");
            request.predicate = Predicate::notNil("unreadInFeed");
            request.sortDescriptors = {{"date", round % 2 == 0, false}};
            request.fetchLimit = 10000;
            request.prefetchKeyPaths = {"feed", "unreadInFeed"};
            articles = context->fetch(request).value().all();
        });
        ++round;
        state.ResumeTiming();
        context->performAndWait([&] {
            const Date now = Date::now();
            for (auto& article : articles) {
                article->setToOne("unreadInFeed", nullptr);
                article->setDate("readDate", now);
            }
            if (!context->save()) std::abort();
        });
    }
    dispatch::MainQueue::shared().drain();
}
BENCHMARK(BM_MarkTenThousandRead)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CountUnreadOfAllFeeds(benchmark::State& state) {
    auto& store = populated();
    auto main = store.container->mainContext();
    for (auto _ : state) {
        main->performAndWait([&] {
            auto feeds = main->fetch(FetchRequest("Feed")).value().all();
            benchmark::DoNotOptimize(main->sumOfCounts(feeds, "unreadArticles").value());
        });
    }
}
BENCHMARK(BM_CountUnreadOfAllFeeds)->Unit(benchmark::kMillisecond);
}  // namespace
