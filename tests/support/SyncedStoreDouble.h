#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/defaults/LocalSyncedStore.h"

namespace tallowmere::test {

// A synced store that can play the other devices: remote changes update its
// values and are reported to the observers on the calling thread. It records
// the writes made through it, so tests can tell whether anything was written.
class SyncedStoreDouble : public defaults::LocalSyncedStore {
public:
    // One recorded local write; nothing for a removal.
    using Write = std::pair<std::string, std::optional<defaults::Value>>;

    void set(const std::string& key, defaults::Value value) override;
    void removeObject(const std::string& key) override;
    bool synchronize() override;

    // Another device changed these keys (nothing = removed it): the values are
    // updated without being recorded as writes, then the change is reported
    // with the keys in this order.
    void applyRemoteChange(const std::vector<Write>& changes);
    // Reports a change as given, e.g. one without its list of keys.
    void postRawChange(const defaults::SyncedStoreChange& change);

    std::vector<Write> writes() const;
    void clearWrites();
    int synchronizeCount() const;

private:
    void record(Write write);

    mutable std::mutex recordMutex_;
    std::vector<Write> writes_;
    int synchronizeCount_ = 0;
};

}  // namespace tallowmere::test
