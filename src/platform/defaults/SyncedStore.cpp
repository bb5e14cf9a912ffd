#include "platform/defaults/SyncedStore.h"

#include <mutex>

#include "platform/defaults/LocalSyncedStore.h"

namespace tallowmere::defaults {
namespace {

std::mutex& defaultStoreMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SyncedStore>& defaultStoreSlot() {
    static std::shared_ptr<SyncedStore> store;
    return store;
}

}  // namespace

bool SyncedStore::boolean(const std::string& key) const {
    const auto value = object(key);
    return value && value->toBoolean();
}

std::int64_t SyncedStore::integer(const std::string& key) const {
    const auto value = object(key);
    return value ? value->toInteger() : 0;
}

ObserverToken SyncedStore::addExternalChangeObserver(ExternalChangeCallback callback) {
    return externalChangeObservers_.add(std::nullopt, std::move(callback));
}

void SyncedStore::postExternalChange(const SyncedStoreChange& change) const {
    externalChangeObservers_.notify({}, change);
}

std::shared_ptr<SyncedStore> SyncedStore::defaultStore() {
    std::lock_guard lock(defaultStoreMutex());
    auto& store = defaultStoreSlot();
    if (!store) store = std::make_shared<LocalSyncedStore>();
    return store;
}

void SyncedStore::setDefaultStore(std::shared_ptr<SyncedStore> store) {
    std::lock_guard lock(defaultStoreMutex());
    defaultStoreSlot() = std::move(store);
}

}  // namespace tallowmere::defaults
