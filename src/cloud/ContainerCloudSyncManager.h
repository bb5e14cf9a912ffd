#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "cloud/CloudManager.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudSyncManager.h"
#include "cloud/CloudUserManager.h"

namespace tallowmere {

class ArticlesSource;

// The read and starred state in the private sync record, over a container.
// The last device to upload wins; a device does not upload over a record
// saved later than the one it last saw until it has downloaded that record.
class ContainerCloudSyncManager final : public CloudSyncManager, public CloudManager {
public:
    using UserSource = std::function<std::shared_ptr<CloudUserManager>()>;
    using ArticlesAccess = std::function<ArticlesSource&()>;
    using NotificationsSource = std::function<std::shared_ptr<CloudNotificationsManager>()>;
    using RecordCompletion = std::function<void(std::optional<cloud::Record> record, std::optional<cloud::Error> error)>;

    static constexpr const char* recordType = "sync";
    static constexpr const char* recordName = "sync_info";
    static constexpr const char* unreadKey = "unread_articles_hashes";
    static constexpr const char* starredKey = "starred_articles_hashes";

    // Empty sources take the process's container, user manager, article
    // source and notifications manager. Subscribes to changes of the sync
    // record.
    ContainerCloudSyncManager(ContainerSource container = {}, UserSource user = {}, ArticlesAccess articles = {},
                              NotificationsSource notifications = {});

    void uploadSyncInfo(bool force, Completion completion) override;
    void downloadSyncInfo(Completion completion) override;

    // The record as last saved, downloaded or first fetched here.
    std::optional<cloud::Date> syncRecordModificationDate() const;

private:
    struct Lists {
        std::vector<std::int64_t> unread;
        std::vector<std::int64_t> starred;
    };

    void fetchSyncRecord(RecordCompletion completion);
    void saveSyncRecord(std::optional<cloud::Record> record, std::optional<cloud::Error> error,
                        std::shared_ptr<const Lists> lists, bool force, Completion completion);
    void applySyncRecord(std::optional<cloud::Record> record, std::optional<cloud::Error> error,
                         Completion completion);
    void setModificationDate(std::optional<cloud::Date> date);

    UserSource user_;
    ArticlesAccess articles_;
    mutable std::mutex mutex_;
    std::optional<cloud::Date> syncRecordModificationDate_;
};

}  // namespace tallowmere
