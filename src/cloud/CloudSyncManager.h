#pragma once

#include <functional>
#include <memory>

namespace tallowmere {

// The private sync record: the unread and starred hashes shared between the
// user's devices. Every completion runs exactly once, on a background thread.
class CloudSyncManager {
public:
    using Completion = std::function<void()>;

    virtual ~CloudSyncManager() = default;

    // Uploads the local unread and starred hashes when signed in with the
    // cloud enabled. `force` writes the starred list even when it is empty.
    virtual void uploadSyncInfo(bool force, Completion completion) = 0;
    // Fetches the sync record and applies its hashes to the local articles.
    virtual void downloadSyncInfo(Completion completion) = 0;

    static std::shared_ptr<CloudSyncManager> shared();
    static void setShared(std::shared_ptr<CloudSyncManager> manager);
};

}  // namespace tallowmere
