#include "cloud/ContainerCloudSyncManager.h"

#include <utility>

#include "cloud/CloudAvailability.h"
#include "sources/ArticlesSource.h"

namespace tallowmere {

using cloud::Error;
using cloud::Record;
using cloud::RecordID;

namespace {

graph::Date storeDate(cloud::Date date) {
    return graph::Date{std::chrono::duration<double>(date.time_since_epoch()).count()};
}

bool isUnknownItem(const Error& error) { return error.code == cloud::ErrorCode::unknownItem; }

}  // namespace

ContainerCloudSyncManager::ContainerCloudSyncManager(ContainerSource container, UserSource user,
                                                     ArticlesAccess articles, NotificationsSource notifications)
    : CloudManager(std::move(container)),
      user_(user ? std::move(user) : UserSource([] { return CloudUserManager::shared(); })),
      articles_(articles ? std::move(articles) : ArticlesAccess([]() -> ArticlesSource& {
          return ArticlesSource::shared();
      })) {
    auto subscriptions = notifications ? notifications() : CloudNotificationsManager::shared();
    subscriptions->subscribeSyncUpdates([] {});
}

std::optional<cloud::Date> ContainerCloudSyncManager::syncRecordModificationDate() const {
    std::lock_guard lock(mutex_);
    return syncRecordModificationDate_;
}

void ContainerCloudSyncManager::setModificationDate(std::optional<cloud::Date> date) {
    std::lock_guard lock(mutex_);
    syncRecordModificationDate_ = date;
}

void ContainerCloudSyncManager::uploadSyncInfo(bool force, Completion completion) {
    CloudAvailability::decide(user_(), true, [this, force, completion = std::move(completion)](bool mayRun) {
        if (!mayRun) {
            completion();
            return;
        }
        // Gathered once: a retried save sends the same lists.
        ArticlesSource& articles = articles_();
        auto lists = std::make_shared<const Lists>(Lists{articles.unreadArticleHashes(), articles.starredArticleHashes()});
        fetchSyncRecord([this, lists, force, completion](std::optional<Record> record, std::optional<Error> error) {
            saveSyncRecord(std::move(record), std::move(error), lists, force, completion);
        });
    });
}

void ContainerCloudSyncManager::saveSyncRecord(std::optional<Record> record, std::optional<Error> error,
                                               std::shared_ptr<const Lists> lists, bool force, Completion completion) {
    if (!record || error) {
        completion();
        return;
    }
    const auto known = syncRecordModificationDate();
    if (known && record->modificationDate() && *record->modificationDate() > *known) {
        completion();  // another device saved a state this one has not seen
        return;
    }
    record->set(unreadKey, lists->unread);
    if (!lists->starred.empty() || force) record->set(starredKey, lists->starred);
    privateDB()->modifyRecords(
        {*record}, {},
        [this, lists, force, completion](std::vector<Record> saved, auto, std::optional<Error> saveError) {
            const bool retrying = handleError(saveError, [this, lists, force, completion] {
                fetchSyncRecord([this, lists, force, completion](std::optional<Record> again,
                                                                 std::optional<Error> fetchError) {
                    saveSyncRecord(std::move(again), std::move(fetchError), lists, force, completion);
                });
            });
            if (retrying) return;
            setModificationDate(saved.empty() ? std::nullopt : saved.back().modificationDate());
            completion();
        });
}

void ContainerCloudSyncManager::fetchSyncRecord(RecordCompletion completion) {
    const RecordID id(recordName);
    privateDB()->fetchRecords(
        {id}, std::nullopt,
        [this, id, completion](std::map<RecordID, Record> records, std::optional<Error> error) {
            if (handleError(error, [this, completion] { fetchSyncRecord(completion); })) return;
            const Error* itemError = error ? error->partialError(id.recordName) : nullptr;
            const bool missing = error && (isUnknownItem(*error) || (itemError && isUnknownItem(*itemError)));
            if (auto found = records.find(id); found != records.end()) {
                {
                    std::lock_guard lock(mutex_);
                    if (!syncRecordModificationDate_) syncRecordModificationDate_ = found->second.modificationDate();
                }
                completion(found->second, error);
            } else if (missing) {
                completion(Record(recordType, id), std::nullopt);
            } else {
                completion(std::nullopt, error);
            }
        });
}

void ContainerCloudSyncManager::downloadSyncInfo(Completion completion) {
    CloudAvailability::decide(user_(), true, [this, completion = std::move(completion)](bool mayRun) {
        if (!mayRun) {
            completion();
            return;
        }
        fetchSyncRecord([this, completion](std::optional<Record> record, std::optional<Error> error) {
            applySyncRecord(std::move(record), std::move(error), completion);
        });
    });
}

void ContainerCloudSyncManager::applySyncRecord(std::optional<Record> record, std::optional<Error> error,
                                                Completion completion) {
    if (!record) {
        completion();
        return;
    }
    // Each list present is applied; a record without a starred list (never
    // forced, never starred) still carries the read state.
    auto unread = record->get<std::vector<std::int64_t>>(unreadKey);
    auto starred = record->get<std::vector<std::int64_t>>(starredKey);
    const auto date = record->modificationDate();
    if ((!unread && !starred) || !date || error) {
        completion();
        return;
    }
    setModificationDate(date);
    articles_().applySyncInfo(std::move(unread), std::move(starred), storeDate(*date), std::move(completion));
}

}  // namespace tallowmere
