#include "support/SyncedStoreDouble.h"

namespace tallowmere::test {

void SyncedStoreDouble::set(const std::string& key, defaults::Value value) {
    record({key, value});
    LocalSyncedStore::set(key, std::move(value));
}

void SyncedStoreDouble::removeObject(const std::string& key) {
    record({key, std::nullopt});
    LocalSyncedStore::removeObject(key);
}

bool SyncedStoreDouble::synchronize() {
    std::lock_guard lock(recordMutex_);
    ++synchronizeCount_;
    return true;
}

void SyncedStoreDouble::applyRemoteChange(const std::vector<Write>& changes) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : changes) {
        if (value) {
            LocalSyncedStore::set(key, *value);
        } else {
            LocalSyncedStore::removeObject(key);
        }
        keys.push_back(key);
    }
    postExternalChange(defaults::SyncedStoreChange{std::move(keys)});
}

void SyncedStoreDouble::postRawChange(const defaults::SyncedStoreChange& change) {
    postExternalChange(change);
}

std::vector<SyncedStoreDouble::Write> SyncedStoreDouble::writes() const {
    std::lock_guard lock(recordMutex_);
    return writes_;
}

void SyncedStoreDouble::clearWrites() {
    std::lock_guard lock(recordMutex_);
    writes_.clear();
}

int SyncedStoreDouble::synchronizeCount() const {
    std::lock_guard lock(recordMutex_);
    return synchronizeCount_;
}

void SyncedStoreDouble::record(Write write) {
    std::lock_guard lock(recordMutex_);
    writes_.push_back(std::move(write));
}

}  // namespace tallowmere::test
