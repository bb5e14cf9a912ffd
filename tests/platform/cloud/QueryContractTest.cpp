#include <atomic>
#include <future>
#include <set>

#include "CloudTestSupport.h"
#include "support/FaultInjectingDatabase.h"
#include "support/OutsideWriter.h"

namespace tallowmere::test {
namespace {

using cloud::Cursor;
using cloud::ErrorCode;
using cloud::Predicate;
using cloud::Query;
using cloud::QueryOptions;
using cloud::Record;
using cloud::RecordID;
using cloud::SortDescriptor;

std::vector<std::string> names(const std::vector<Record>& records) {
    std::vector<std::string> out;
    for (const auto& record : records) out.push_back(record.recordID().recordName);
    return out;
}

std::string feedURL(int feed) { return "example.org/feed-" + std::to_string(feed); }

class QueryContractTest : public CloudContractTest {
protected:
    // `perFeed` articles for each of `feeds` feeds; article i of feed f is
    // published at minute f * 100 + i.
    void writeArticles(int feeds, int perFeed) {
        OutsideWriter writer(configuration("outside"));
        std::vector<Record> records;
        for (int feed = 0; feed < feeds; ++feed) {
            for (int i = 0; i < perFeed; ++i) {
                const std::string name = "a-" + std::to_string(feed) + "-" + std::to_string(i);
                records.push_back(OutsideWriter::article(name, feedURL(feed), "Title " + name,
                                                         microsecondDate((feed * 100 + i) * 60'000'000LL)));
            }
        }
        writer.save(std::move(records));
    }
};

TEST_P(QueryContractTest, EqualsMatchesOnlyTheSameKind) {
    auto database = device()->publicDatabase();
    Record flag("marker", RecordID("flag"));
    flag.set("verified", true);
    Record number("marker", RecordID("number"));
    number.set("verified", std::int64_t(1));
    Record text("marker", RecordID("text"));
    text.set("verified", std::string("1"));
    cloudcalls::save(*database, {flag, number, text});

    const struct {
        cloud::FieldValue value;
        const char* expected;
    } cases[] = {{true, "flag"}, {std::int64_t(1), "number"}, {std::string("1"), "text"}};
    for (const auto& c : cases) {
        const auto page = cloudcalls::query(*database, Query{"marker", Predicate::equals("verified", c.value)});
        EXPECT_FALSE(page.error);
        EXPECT_EQ(names(page.records), std::vector<std::string>{c.expected});
    }
    const auto byID = cloudcalls::query(*database, Query{"marker", Predicate::recordIDEquals(RecordID("text"))});
    EXPECT_EQ(names(byID.records), std::vector<std::string>{"text"});
}

TEST_P(QueryContractTest, InOfFiftySortedWithLimitAndDesiredKeys) {
    writeArticles(60, 3);
    std::vector<std::string> wanted;
    for (int feed = 5; feed < 55; ++feed) wanted.push_back(feedURL(feed));
    const Query query{"article", Predicate::in("feed_url", wanted), SortDescriptor{"published_date", false}};

    QueryOptions options;
    options.resultsLimit = 20;
    options.desiredKeys = std::vector<std::string>{"title", "feed_url"};
    const auto page = cloudcalls::query(*device()->publicDatabase(), query, options);
    ASSERT_FALSE(page.error);
    ASSERT_EQ(page.records.size(), 20u);
    EXPECT_TRUE(page.cursor);
    // Newest first: feed 54's three, then feed 53's ...
    EXPECT_EQ(page.records.front().recordID().recordName, "a-54-2");
    EXPECT_EQ(page.records.back().recordID().recordName, "a-48-1");
    for (const auto& record : page.records) {
        EXPECT_EQ(record.fields().size(), 2u);
        EXPECT_TRUE(record.get<std::string>("title"));
        EXPECT_TRUE(record.creationDate() && record.recordChangeTag());
    }
    // Every page together: all 150 records of the 50 feeds, once each.
    const auto all = cloudcalls::queryAll(*device()->publicDatabase(), query);
    const auto allNames = names(all);
    EXPECT_EQ(all.size(), 150u);
    EXPECT_EQ(std::set<std::string>(allNames.begin(), allNames.end()).size(), 150u);
    EXPECT_TRUE(cloudcalls::query(*device()->publicDatabase(), Query{"article", Predicate::in("feed_url", {})})
                    .records.empty());
}

TEST_P(QueryContractTest, RecordsLackingTheSortFieldComeLastAndTiesGoByName) {
    auto database = device()->publicDatabase();
    std::vector<Record> records;
    for (const auto& [name, minute] : std::vector<std::pair<std::string, int>>{
             {"d", 2}, {"b", 1}, {"c", 2}, {"a", -1}, {"e", -1}, {"f", 3}}) {
        Record record("article", RecordID(name));
        record.set("feed_url", std::string("x"));
        if (minute >= 0) record.set("published_date", microsecondDate(minute * 60'000'000LL));
        records.push_back(record);
    }
    cloudcalls::save(*database, records);
    const Predicate predicate = Predicate::equals("feed_url", std::string("x"));
    QueryOptions small;
    small.resultsLimit = 2;  // small pages, so the order holds across cursors
    EXPECT_EQ(names(cloudcalls::queryAll(*database, Query{"article", predicate, SortDescriptor{"published_date", false}},
                                         small)),
              (std::vector<std::string>{"f", "c", "d", "b", "a", "e"}));
    EXPECT_EQ(names(cloudcalls::queryAll(*database, Query{"article", predicate, SortDescriptor{"published_date", true}},
                                         small)),
              (std::vector<std::string>{"b", "c", "d", "f", "a", "e"}));
    EXPECT_EQ(names(cloudcalls::queryAll(*database, Query{"article", predicate}, small)),
              (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
}

TEST_P(QueryContractTest, PagesHoldAtMostThePageSizeAndInsertsBetweenPagesCauseNoDuplicateOrGap) {
    writeArticles(1, 250);
    auto database = device()->publicDatabase();
    const Query query{"article", Predicate::equals("feed_url", feedURL(0)), SortDescriptor{"published_date", false}};
    QueryOptions options;
    options.resultsLimit = 1000;  // more than a page: the page size wins
    auto page = cloudcalls::query(*database, query, options);
    ASSERT_EQ(page.records.size(), 100u);
    ASSERT_TRUE(page.cursor);
    std::vector<Record> seen = page.records;

    // Newer records (before the cursor) and older ones (after it) arrive.
    OutsideWriter writer(configuration("outside"));
    writer.save({OutsideWriter::article("newer", feedURL(0), "n", microsecondDate(999'000'000'000LL)),
                 OutsideWriter::article("older", feedURL(0), "o", microsecondDate(-60'000'000LL))});
    while (page.cursor) {
        page = cloudcalls::query(*database, *page.cursor);
        ASSERT_FALSE(page.error);
        EXPECT_LE(page.records.size(), 100u);
        seen.insert(seen.end(), page.records.begin(), page.records.end());
    }
    const auto seenNames = names(seen);
    EXPECT_EQ(seen.size(), 251u);  // the 250 and the older one
    EXPECT_EQ(std::set<std::string>(seenNames.begin(), seenNames.end()).size(), seen.size());
    EXPECT_EQ(seenNames.back(), "older");
}

TEST_P(QueryContractTest, ForeignOrGarbageCursorsAreInvalidArguments) {
    writeArticles(1, 5);
    QueryOptions two;
    two.resultsLimit = 2;
    const auto page = cloudcalls::query(*device()->publicDatabase(), Query{"article"}, two);
    ASSERT_TRUE(page.cursor);
    const struct {
        const char* name;
        std::shared_ptr<cloud::Database> database;
        Cursor cursor;
    } cases[] = {
        {"garbage", device()->publicDatabase(), Cursor("not a cursor")},
        {"empty", device()->publicDatabase(), Cursor("")},
        {"other database", device()->privateDatabase(), *page.cursor},
        {"other account", device("bob")->privateDatabase(), *page.cursor},
    };
    for (const auto& c : cases) {
        const auto result = cloudcalls::query(*c.database, c.cursor);
        ASSERT_TRUE(result.error) << c.name;
        EXPECT_EQ(result.error->code, ErrorCode::invalidArguments) << c.name;
    }
}

TEST_P(QueryContractTest, CancelEndsWithCancelledExactlyOnce) {
    writeArticles(1, 3);
    auto faulty = std::make_shared<FaultInjectingDatabase>(device()->publicDatabase());
    faulty->holdNext(FaultInjectingDatabase::Kind::query, 1);
    std::atomic<int> completions = 0;
    std::atomic<int> records = 0;
    std::promise<std::optional<cloud::Error>> done;
    auto operation = faulty->query(
        Query{"article"}, {}, [&](const Record&) { ++records; },
        [&](std::optional<Cursor>, std::optional<cloud::Error> error) {
            if (++completions == 1) done.set_value(error);
        });
    operation->cancel();
    operation->cancel();
    faulty->releaseHeld();  // too late: the cancel claimed it
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto error = future.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ErrorCode::operationCancelled);
    // A later operation shows that nothing else came for the cancelled one.
    cloudcalls::query(*faulty, Query{"article"});
    EXPECT_EQ(completions.load(), 1);
    EXPECT_EQ(records.load(), 0);
}

TEST_P(QueryContractTest, FaultsFailTheNextOperationsOfAKindAndAreCounted) {
    auto faulty = std::make_shared<FaultInjectingDatabase>(device()->publicDatabase());
    auto limited = cloud::Error::make(ErrorCode::requestRateLimited, "slow down");
    limited.retryAfterSeconds = 2.5;
    faulty->failNext(FaultInjectingDatabase::Kind::modifyRecords, 2, limited);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto result = cloudcalls::save(*faulty, {Record("guid", RecordID("g"))});
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, ErrorCode::requestRateLimited);
        EXPECT_EQ(result.error->retryAfterSeconds, 2.5);
    }
    EXPECT_FALSE(cloudcalls::save(*faulty, {Record("guid", RecordID("g"))}).error);
    EXPECT_EQ(faulty->requestCount(FaultInjectingDatabase::Kind::modifyRecords), 3);
    EXPECT_EQ(faulty->requestCount(FaultInjectingDatabase::Kind::fetchRecords), 0);
}

TEST_P(QueryContractTest, CompletionsNeverRunOnTheCallersThread) {
    auto database = device()->publicDatabase();
    const auto caller = std::this_thread::get_id();
    EXPECT_NE(cloudcalls::save(*database, {Record("guid", RecordID("g"))}).thread, caller);
    EXPECT_NE(cloudcalls::fetch(*database, {RecordID("g")}).thread, caller);
    EXPECT_NE(cloudcalls::query(*database, Query{"guid"}).thread, caller);

    // Nor on a completion's thread that starts the next operation.
    std::promise<std::pair<std::thread::id, std::thread::id>> threads;
    database->fetchRecords({RecordID("g")}, std::nullopt, [&](auto, auto) {
        const auto outer = std::this_thread::get_id();
        database->fetchRecords({RecordID("g")}, std::nullopt, [&, outer](auto, auto) {
            threads.set_value({outer, std::this_thread::get_id()});
        });
    });
    auto future = threads.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [outer, inner] = future.get();
    EXPECT_NE(outer, inner);
}

INSTANTIATE_TEST_SUITE_P(Backings, QueryContractTest, ::testing::ValuesIn(cloudBackings()), backingName);

}  // namespace
}  // namespace tallowmere::test
