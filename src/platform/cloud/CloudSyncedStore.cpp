#include "platform/cloud/CloudSyncedStore.h"

namespace tallowmere::cloud {

CloudSyncedStore::CloudSyncedStore(std::shared_ptr<KeyValueArea> area) : area_(std::move(area)) {
    if (auto loaded = area_->loadKeyValues()) values_ = std::move(*loaded);
}

std::optional<defaults::Value> CloudSyncedStore::object(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (const auto found = values_.find(key); found != values_.end()) return found->second;
    return std::nullopt;
}

void CloudSyncedStore::set(const std::string& key, defaults::Value value) {
    {
        std::lock_guard lock(mutex_);
        values_.insert_or_assign(key, value);
    }
    write(key, value);
}

void CloudSyncedStore::removeObject(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        values_.erase(key);
    }
    write(key, std::nullopt);
}

void CloudSyncedStore::write(const std::string& key, const std::optional<defaults::Value>& value) {
    const bool written = area_->writeKeyValue(key, value);
    std::lock_guard lock(mutex_);
    if (written) {
        unwritten_.erase(key);
    } else {
        unwritten_.insert(key);
    }
}

std::map<std::string, defaults::Value> CloudSyncedStore::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return values_;
}

bool CloudSyncedStore::synchronize() {
    std::map<std::string, std::optional<defaults::Value>> pending;
    {
        std::lock_guard lock(mutex_);
        for (const auto& key : unwritten_) {
            const auto found = values_.find(key);
            pending.emplace(key, found == values_.end() ? std::nullopt : std::optional(found->second));
        }
    }
    bool ok = true;
    for (const auto& [key, value] : pending) {
        const bool written = area_->writeKeyValue(key, value);
        std::lock_guard lock(mutex_);
        if (written) unwritten_.erase(key);
        ok = ok && written;
    }
    auto loaded = area_->loadKeyValues();
    if (!loaded) return false;
    std::lock_guard lock(mutex_);
    // Values not yet written stay as this device has them.
    for (const auto& key : unwritten_) {
        if (const auto found = values_.find(key); found != values_.end()) {
            loaded->insert_or_assign(key, found->second);
        } else {
            loaded->erase(key);
        }
    }
    values_ = std::move(*loaded);
    return ok;
}

void CloudSyncedStore::applyExternalChanges(const std::map<std::string, std::optional<defaults::Value>>& changes) {
    if (changes.empty()) return;
    defaults::SyncedStoreChange change;
    change.changedKeys.emplace();
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : changes) {
            if (value) {
                values_.insert_or_assign(key, *value);
            } else {
                values_.erase(key);
            }
            change.changedKeys->push_back(key);
        }
    }
    postExternalChange(change);
}

}  // namespace tallowmere::cloud
