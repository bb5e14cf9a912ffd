#include "cloud/ContainerStatsManager.h"

#include <mutex>
#include <utility>
#include <vector>

#include "cloud/CloudAvailability.h"
#include "foundation/Logger.h"
#include "foundation/TextOperations.h"
#include "foundation/UUID.h"

namespace tallowmere {

using cloud::Error;
using cloud::Record;

ContainerStatsManager::ContainerStatsManager(ContainerSource container, UserSource user)
    : CloudManager(std::move(container)),
      user_(user ? std::move(user) : UserSource([] { return CloudUserManager::shared(); })) {}

std::string ContainerStatsManager::normalizedURL(const std::string& url) { return lowercasedTrimmingSlashes(url); }

void ContainerStatsManager::updateFeedStats(const std::string& url,
                                            const std::optional<std::set<std::string>>& categories, bool) {
    CloudAvailability::decide(user_(), true, [self = shared_from_this(), url, categories](bool mayRun) {
        if (mayRun) self->queryFeedStats(normalizedURL(url), categories);
    });
}

void ContainerStatsManager::queryFeedStats(const std::string& url, std::optional<std::set<std::string>> categories) {
    struct Found {
        std::mutex mutex;
        std::optional<Record> record;
    };
    auto found = std::make_shared<Found>();
    cloud::QueryOptions options;
    options.resultsLimit = 1;
    options.desiredKeys = std::vector<std::string>{countKey, categoriesKey};
    publicDB()->query(
        cloud::Query(recordType, cloud::Predicate::equals(urlKey, url)), options,
        [found](const Record& record) {
            std::lock_guard lock(found->mutex);
            found->record = record;
        },
        [self = shared_from_this(), found, url, categories](std::optional<cloud::Cursor>, std::optional<Error> error) {
            if (error) {
                // Counting on would make a second record for the URL.
                Logger::error([&] { return "feedStats error: " + error->textualDescription(); });
                return;
            }
            std::optional<Record> record;
            {
                std::lock_guard lock(found->mutex);
                record = std::move(found->record);
            }
            if (!record) {
                record.emplace(recordType, cloud::RecordID(UUID::make()));
                record->set(urlKey, url);
                record->set(countKey, std::int64_t{0});
                record->set(categoriesKey, std::vector<std::string>{});
            }
            self->incrementFeedStats(std::move(*record), categories);
        });
}

void ContainerStatsManager::incrementFeedStats(Record record, const std::optional<std::set<std::string>>& categories) {
    const auto count = record.get<std::int64_t>(countKey);
    const auto stored = record.get<std::vector<std::string>>(categoriesKey);
    if (!count || !stored) return;
    record.set(countKey, *count + 1);
    if (categories) {
        std::set<std::string> merged(stored->begin(), stored->end());
        merged.insert(categories->begin(), categories->end());
        record.set(categoriesKey, std::vector<std::string>(merged.begin(), merged.end()));
    }
    publicDB()->modifyRecords({std::move(record)}, {}, [self = shared_from_this()](auto, auto, std::optional<Error> error) {
        if (error) Logger::error([&] { return "updateFeedStats error: " + error->textualDescription(); });
    });
}

}  // namespace tallowmere
