#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/cloud/KeyValueArea.h"
#include "platform/defaults/SyncedStore.h"

namespace tallowmere::cloud {

// The synced store of a container: values in memory, written through to the
// account's key-value area; the container hands it what other devices wrote,
// which reaches the external-change observers after the values are in.
class CloudSyncedStore final : public defaults::SyncedStore {
public:
    explicit CloudSyncedStore(std::shared_ptr<KeyValueArea> area);

    std::optional<defaults::Value> object(const std::string& key) const override;
    void set(const std::string& key, defaults::Value value) override;
    void removeObject(const std::string& key) override;
    std::map<std::string, defaults::Value> dictionaryRepresentation() const override;
    // Writes what could not be written before, then reads the area again.
    bool synchronize() override;

    // Values other devices wrote (nothing: removed). Called by the container's watcher.
    void applyExternalChanges(const std::map<std::string, std::optional<defaults::Value>>& changes);

private:
    void write(const std::string& key, const std::optional<defaults::Value>& value);

    const std::shared_ptr<KeyValueArea> area_;
    mutable std::mutex mutex_;
    std::map<std::string, defaults::Value> values_;
    // Keys whose last write failed; synchronize() tries them again.
    std::set<std::string> unwritten_;
};

}  // namespace tallowmere::cloud
