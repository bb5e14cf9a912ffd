#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/defaults/SyncedStore.h"

namespace tallowmere::defaults {

// The synced store of a program without a cloud: a store in memory that
// never reports external changes, since there is no other device. Nothing
// is lost by keeping it in memory only: every value written to it is written
// to the local settings too.
class LocalSyncedStore : public SyncedStore {
public:
    std::optional<Value> object(const std::string& key) const override;
    void set(const std::string& key, Value value) override;
    void removeObject(const std::string& key) override;
    std::map<std::string, Value> dictionaryRepresentation() const override;
    // Nothing to exchange: always succeeds.
    bool synchronize() override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

}  // namespace tallowmere::defaults
