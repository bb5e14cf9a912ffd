#include "CloudCalls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace tallowmere::test::cloudcalls {
namespace {

template <typename T>
T waitFor(std::future<T>& future, const char* what) {
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << what << ": no completion within 10 s";
        return T{};
    }
    return future.get();
}

}  // namespace

Fetched fetch(cloud::Database& database, std::vector<cloud::RecordID> ids,
              std::optional<std::vector<std::string>> desiredKeys) {
    auto promise = std::make_shared<std::promise<Fetched>>();
    auto future = promise->get_future();
    database.fetchRecords(std::move(ids), std::move(desiredKeys), [promise](auto records, auto error) {
        promise->set_value({std::move(records), std::move(error), std::this_thread::get_id()});
    });
    return waitFor(future, "fetch");
}

Modified save(cloud::Database& database, std::vector<cloud::Record> records, std::vector<cloud::RecordID> deletions) {
    auto promise = std::make_shared<std::promise<Modified>>();
    auto future = promise->get_future();
    database.modifyRecords(std::move(records), std::move(deletions), [promise](auto saved, auto deleted, auto error) {
        promise->set_value({std::move(saved), std::move(deleted), std::move(error), std::this_thread::get_id()});
    });
    return waitFor(future, "save");
}

namespace {

template <typename Start>
Page runPage(Start start) {
    auto page = std::make_shared<Page>();
    auto promise = std::make_shared<std::promise<void>>();
    auto future = promise->get_future();
    start([page](const cloud::Record& record) { page->records.push_back(record); },
          [page, promise](std::optional<cloud::Cursor> cursor, std::optional<cloud::Error> error) {
              page->cursor = std::move(cursor);
              page->error = std::move(error);
              page->thread = std::this_thread::get_id();
              if (++page->completions == 1) promise->set_value();
          });
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "query: no completion within 10 s";
    }
    return *page;
}

}  // namespace

Page query(cloud::Database& database, const cloud::Query& query, cloud::QueryOptions options) {
    return runPage([&](auto onRecord, auto completion) { database.query(query, options, onRecord, completion); });
}

Page query(cloud::Database& database, const cloud::Cursor& cursor, cloud::QueryOptions options) {
    return runPage([&](auto onRecord, auto completion) { database.query(cursor, options, onRecord, completion); });
}

std::vector<cloud::Record> queryAll(cloud::Database& database, const cloud::Query& query,
                                    cloud::QueryOptions options) {
    auto page = cloudcalls::query(database, query, options);
    std::vector<cloud::Record> records = page.records;
    while (page.cursor && !page.error) {
        page = cloudcalls::query(database, *page.cursor, options);
        records.insert(records.end(), page.records.begin(), page.records.end());
    }
    EXPECT_FALSE(page.error) << page.error->textualDescription();
    return records;
}

Subscriptions subscriptions(cloud::Database& database) {
    auto promise = std::make_shared<std::promise<Subscriptions>>();
    auto future = promise->get_future();
    database.fetchAllSubscriptions([promise](auto subscriptions, auto error) {
        promise->set_value({std::move(subscriptions), std::move(error)});
    });
    return waitFor(future, "fetch subscriptions");
}

std::optional<cloud::Error> saveSubscriptions(cloud::Database& database, std::vector<cloud::QuerySubscription> save,
                                              std::vector<std::string> deletions) {
    auto promise = std::make_shared<std::promise<std::optional<cloud::Error>>>();
    auto future = promise->get_future();
    database.modifySubscriptions(std::move(save), std::move(deletions),
                                 [promise](auto, auto, auto error) { promise->set_value(std::move(error)); });
    return waitFor(future, "save subscriptions");
}

UserRecord userRecord(cloud::Container& container) {
    auto promise = std::make_shared<std::promise<UserRecord>>();
    auto future = promise->get_future();
    container.fetchCurrentUserRecord(
        [promise](auto record, auto error) { promise->set_value({std::move(record), std::move(error)}); });
    return waitFor(future, "user record");
}

cloud::Record saveOne(cloud::Database& database, cloud::Record record) {
    auto result = save(database, {record});
    EXPECT_FALSE(result.error) << result.error->textualDescription();
    if (result.saved.size() != 1) {
        ADD_FAILURE() << "record " << record.recordID().recordName << " not saved";
        return record;
    }
    return result.saved.front();
}

}  // namespace tallowmere::test::cloudcalls
