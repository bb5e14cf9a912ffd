#include "platform/defaults/LocalSyncedStore.h"

namespace tallowmere::defaults {

std::optional<Value> LocalSyncedStore::object(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (const auto found = values_.find(key); found != values_.end()) return found->second;
    return std::nullopt;
}

void LocalSyncedStore::set(const std::string& key, Value value) {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(key, std::move(value));
}

void LocalSyncedStore::removeObject(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

std::map<std::string, Value> LocalSyncedStore::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return values_;
}

bool LocalSyncedStore::synchronize() { return true; }

}  // namespace tallowmere::defaults
