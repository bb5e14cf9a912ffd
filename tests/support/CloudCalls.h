#pragma once

#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/cloud/Container.h"
#include "platform/cloud/Database.h"

namespace tallowmere::test {

// Blocking forms of the cloud calls for tests: each waits (at most ten
// seconds, then fails the test) for the completion and hands back what it got
// and the thread it ran on.
namespace cloudcalls {

struct Fetched {
    std::map<cloud::RecordID, cloud::Record> records;
    std::optional<cloud::Error> error;
    std::thread::id thread;
};
struct Modified {
    std::vector<cloud::Record> saved;
    std::vector<cloud::RecordID> deleted;
    std::optional<cloud::Error> error;
    std::thread::id thread;
};
struct Page {
    std::vector<cloud::Record> records;
    std::optional<cloud::Cursor> cursor;
    std::optional<cloud::Error> error;
    std::thread::id thread;
    int completions = 0;
};
struct Subscriptions {
    std::map<std::string, cloud::QuerySubscription> subscriptions;
    std::optional<cloud::Error> error;
};
struct UserRecord {
    std::optional<cloud::Record> record;
    std::optional<cloud::Error> error;
};

Fetched fetch(cloud::Database& database, std::vector<cloud::RecordID> ids,
              std::optional<std::vector<std::string>> desiredKeys = std::nullopt);
Modified save(cloud::Database& database, std::vector<cloud::Record> records,
              std::vector<cloud::RecordID> deletions = {});
Page query(cloud::Database& database, const cloud::Query& query, cloud::QueryOptions options = {});
Page query(cloud::Database& database, const cloud::Cursor& cursor, cloud::QueryOptions options = {});
// Every page, following cursors.
std::vector<cloud::Record> queryAll(cloud::Database& database, const cloud::Query& query,
                                    cloud::QueryOptions options = {});
Subscriptions subscriptions(cloud::Database& database);
std::optional<cloud::Error> saveSubscriptions(cloud::Database& database, std::vector<cloud::QuerySubscription> save,
                                              std::vector<std::string> deletions = {});
UserRecord userRecord(cloud::Container& container);

// The record's saved form or a failed test.
cloud::Record saveOne(cloud::Database& database, cloud::Record record);

}  // namespace cloudcalls
}  // namespace tallowmere::test
