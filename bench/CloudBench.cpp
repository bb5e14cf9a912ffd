// Both cloud backings at the sizes users reach: 100 000 mirrored articles
// over 1 000 feeds, a long hash list in one record, and push latency (across
// processes on the embedded file; between two devices through the server on
// PostgreSQL, whose throwaway cluster the benchmark starts itself).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/cloud/Container.h"
#include "platform/cloud/FieldCodec.h"
#include "support/PostgresCluster.h"

using namespace tallowmere::cloud;

namespace {

constexpr int feedCount = 1000;
constexpr int articleCount = 100'000;

std::string feedURL(int feed) { return "example.org/feed-" + std::to_string(feed); }

std::filesystem::path makeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cloud-bench-XXXXXX").string();
    return mkdtemp(pattern.data());
}

enum class Backing { embedded, postgres };

Configuration configuration(Backing backing, const std::filesystem::path& folder, const std::string& account) {
    if (backing == Backing::postgres) {
        std::string problem;
        auto* cluster = tallowmere::test::PostgresCluster::shared(&problem);
        if (!cluster) {
            std::fprintf(stderr, "no PostgreSQL cluster: %s\n", problem.c_str());
            std::abort();
        }
        auto configuration = Configuration::postgres(cluster->connectionString(cluster->databaseFor(folder), account));
        configuration.assetCacheDirectory = folder / "assets";
        return configuration;
    }
    auto configuration = Configuration::localFile(folder / "cloud.sqlite", account);
    configuration.assetCacheDirectory = folder / "assets";
    return configuration;
}

void saveAll(Database& database, std::vector<Record> records) {
    std::promise<void> done;
    database.modifyRecords(std::move(records), {}, [&](auto, auto, std::optional<Error> error) {
        if (error) std::fprintf(stderr, "%s\n", error->textualDescription().c_str());
        done.set_value();
    });
    done.get_future().wait();
}

// The article mirror, written once for all benchmarks of this process.
struct Mirror {
    explicit Mirror(Backing backing) : folder(makeFolder()) {
        auto writer = Container::make(configuration(backing, folder, "outside"));
        std::vector<Record> batch;
        for (int i = 0; i < articleCount; ++i) {
            Record record("article", RecordID("article-" + std::to_string(i)));
            record.set("feed_url", feedURL(i % feedCount));
            record.set("title", "Article " + std::to_string(i));
            record.set("link", "https://example.org/" + std::to_string(i));
            record.set("content", std::string(200, 'x'));
            record.set("published_date", Date(std::chrono::seconds(1'700'000'000 + (i * 7919) % 10'000'000)));
            batch.push_back(std::move(record));
            if (batch.size() == 1000) saveAll(*writer->publicDatabase(), std::move(batch)), batch.clear();
        }
        reader = Container::make(configuration(backing, folder, "alice"));
        // What the server's autovacuum does a little later on its own: the
        // planner learns that the table is large.
        if (backing == Backing::postgres) {
            auto* cluster = tallowmere::test::PostgresCluster::shared();
            cluster->execute(cluster->databaseFor(folder), "ANALYZE tallowmere.records");
        }
    }
    ~Mirror() {
        reader.reset();
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path folder;
    std::shared_ptr<Container> reader;
};

Mirror& mirror(Backing backing) {
    if (backing == Backing::postgres) {
        static Mirror onServer(Backing::postgres);
        return onServer;
    }
    static Mirror embedded(Backing::embedded);
    return embedded;
}

Query fiftyFeeds() {
    std::vector<std::string> feeds;
    for (int feed = 0; feed < 50; ++feed) feeds.push_back(feedURL(feed * 17));
    return Query("article", Predicate::in("feed_url", feeds), SortDescriptor{"published_date", false});
}

// One page; the number of records it held.
std::pair<std::size_t, std::optional<Cursor>> page(Database& database, const std::optional<Cursor>& cursor,
                                                    QueryOptions options) {
    std::size_t count = 0;
    std::promise<std::optional<Cursor>> done;
    auto onRecord = [&](const Record&) { ++count; };
    auto completion = [&](std::optional<Cursor> next, std::optional<Error>) { done.set_value(std::move(next)); };
    if (cursor) {
        database.query(*cursor, options, onRecord, completion);
    } else {
        database.query(fiftyFeeds(), options, onRecord, completion);
    }
    auto next = done.get_future().get();
    return {count, std::move(next)};
}

void BM_InQueryOfFiftyFeedsFirstPage(benchmark::State& state, Backing backing) {
    auto database = mirror(backing).reader->publicDatabase();
    QueryOptions options;
    options.resultsLimit = 50;
    for (auto _ : state) {
        const auto [count, cursor] = page(*database, std::nullopt, options);
        if (count != 50) state.SkipWithError("short page");
    }
}
BENCHMARK_CAPTURE(BM_InQueryOfFiftyFeedsFirstPage, embedded, Backing::embedded)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InQueryOfFiftyFeedsFirstPage, postgres, Backing::postgres)->Unit(benchmark::kMillisecond);

void BM_InQueryOfFiftyFeedsCursorWalk(benchmark::State& state, Backing backing) {
    auto database = mirror(backing).reader->publicDatabase();
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        std::optional<Cursor> cursor;
        do {
            auto [count, next] = page(*database, cursor, {});
            total += count;
            cursor = std::move(next);
        } while (cursor);
    }
    state.counters["records"] = static_cast<double>(total);
}
BENCHMARK_CAPTURE(BM_InQueryOfFiftyFeedsCursorWalk, embedded, Backing::embedded)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InQueryOfFiftyFeedsCursorWalk, postgres, Backing::postgres)->Unit(benchmark::kMillisecond);

Record hashRecord() {
    Record record("sync", RecordID("sync_info"));
    std::vector<std::int64_t> hashes(100'000);
    std::iota(hashes.begin(), hashes.end(), std::int64_t(-5'000'000'000));
    record.set("unread_articles_hashes", std::move(hashes));
    return record;
}

void BM_SaveHundredThousandHashes(benchmark::State& state, Backing backing) {
    auto folder = makeFolder();
    auto container = Container::make(configuration(backing, folder, "alice"));
    auto database = container->privateDatabase();
    Record record = hashRecord();
    for (auto _ : state) {
        std::promise<void> done;
        database->modifyRecords({record}, {}, [&](std::vector<Record> saved, auto, std::optional<Error> error) {
            if (error || saved.empty()) {
                state.SkipWithError("save failed");
            } else {
                record = std::move(saved.front());
                record.set("unread_articles_hashes", *record.get<std::vector<std::int64_t>>("unread_articles_hashes"));
            }
            done.set_value();
        });
        done.get_future().wait();
    }
    container.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_SaveHundredThousandHashes, embedded, Backing::embedded)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveHundredThousandHashes, postgres, Backing::postgres)->Unit(benchmark::kMillisecond);

void BM_FetchHundredThousandHashes(benchmark::State& state, Backing backing) {
    auto folder = makeFolder();
    auto container = Container::make(configuration(backing, folder, "alice"));
    auto database = container->privateDatabase();
    saveAll(*database, {hashRecord()});
    for (auto _ : state) {
        std::promise<std::size_t> done;
        database->fetchRecords({RecordID("sync_info")}, std::nullopt, [&](auto records, auto) {
            const auto found = records.find(RecordID("sync_info"));
            done.set_value(found == records.end()
                               ? 0
                               : found->second.template get<std::vector<std::int64_t>>("unread_articles_hashes")->size());
        });
        if (done.get_future().get() != 100'000) state.SkipWithError("fetch failed");
    }
    container.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_FetchHundredThousandHashes, embedded, Backing::embedded)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FetchHundredThousandHashes, postgres, Backing::postgres)->Unit(benchmark::kMillisecond);

#ifdef TALLOWMERE_CLOUD_HELPER
// From a save in another process to the push handler here; the writer stamps
// each record with the time of its save.
void BM_PushLatencyAcrossProcesses(benchmark::State& state) {
    constexpr int pushes = 100;
    auto folder = makeFolder();
    auto container = Container::make(configuration(Backing::embedded, folder, "alice"));
    QuerySubscription subscription;
    subscription.subscriptionID = "new_article";
    subscription.recordType = "article";
    subscription.predicate = Predicate::equals("feed_url", std::string("bench/push"));
    subscription.options = firesOnRecordCreation;
    subscription.notificationInfo.desiredKeys = std::vector<std::string>{"sent_us"};
    std::promise<void> subscribed;
    container->publicDatabase()->modifySubscriptions({subscription}, {}, [&](auto, auto, auto) { subscribed.set_value(); });
    subscribed.get_future().wait();

    std::mutex mutex;
    std::vector<double> latencies;
    container->startPushDelivery([&](const Notification& push) {
        const auto now = FieldCodec::microseconds(std::chrono::system_clock::now());
        const auto sent = std::get<std::int64_t>(push.recordFields.at("sent_us"));
        std::lock_guard lock(mutex);
        latencies.push_back(static_cast<double>(now - sent) / 1000.0);
    });
    for (auto _ : state) {
        const std::string command = std::string("'") + TALLOWMERE_CLOUD_HELPER + "' '" +
                                    (folder / "cloud.sqlite").string() + "' outside stamp article " +
                                    std::to_string(pushes) + " 10 feed_url=bench/push";
        if (std::system(command.c_str()) != 0) state.SkipWithError("helper failed");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex);
                if (latencies.size() >= pushes) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    container->stopPushDelivery();
    std::lock_guard lock(mutex);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.size() < pushes) {
        state.SkipWithError("pushes missing");
    } else {
        state.counters["p50_ms"] = latencies[latencies.size() / 2];
        state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
        state.counters["max_ms"] = latencies.back();
    }
    container.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PushLatencyAcrossProcesses)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

// From a save by another device of the account, through the server, to the
// push handler here.
void BM_PushLatencyThroughTheServer(benchmark::State& state) {
    constexpr int pushes = 100;
    auto folder = makeFolder();
    auto container = Container::make(configuration(Backing::postgres, folder, "alice"));
    auto other = Container::make(configuration(Backing::postgres, folder, "alice"));
    QuerySubscription subscription;
    subscription.subscriptionID = "new_article";
    subscription.recordType = "article";
    subscription.predicate = Predicate::equals("feed_url", std::string("bench/push"));
    subscription.options = firesOnRecordCreation;
    subscription.notificationInfo.desiredKeys = std::vector<std::string>{"sent_us"};
    std::promise<void> subscribed;
    container->publicDatabase()->modifySubscriptions({subscription}, {}, [&](auto, auto, auto) { subscribed.set_value(); });
    subscribed.get_future().wait();

    std::mutex mutex;
    std::vector<double> latencies;
    container->startPushDelivery([&](const Notification& push) {
        const auto now = FieldCodec::microseconds(std::chrono::system_clock::now());
        const auto sent = std::get<std::int64_t>(push.recordFields.at("sent_us"));
        std::lock_guard lock(mutex);
        latencies.push_back(static_cast<double>(now - sent) / 1000.0);
    });
    for (auto _ : state) {
        for (int i = 0; i < pushes; ++i) {
            Record record("article", RecordID("push-" + std::to_string(i)));
            record.set("feed_url", std::string("bench/push"));
            record.set("sent_us", FieldCodec::microseconds(std::chrono::system_clock::now()));
            saveAll(*other->publicDatabase(), {record});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex);
                if (latencies.size() >= pushes) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    container->stopPushDelivery();
    std::lock_guard lock(mutex);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.size() < pushes) {
        state.SkipWithError("pushes missing");
    } else {
        state.counters["p50_ms"] = latencies[latencies.size() / 2];
        state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
        state.counters["max_ms"] = latencies.back();
    }
    container.reset();
    other.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PushLatencyThroughTheServer)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
