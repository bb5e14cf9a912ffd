#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/defaults/ObserverList.h"
#include "platform/defaults/ObserverToken.h"
#include "platform/defaults/SyncedStoreChange.h"
#include "platform/defaults/Value.h"

namespace tallowmere::defaults {

// A key-value store whose values follow the user to the other devices.
// Values written here reach the other devices eventually; values changed
// there arrive as external changes, reported to the observers after the
// new values are in the store. Implementations are safe to use from any
// thread.
class SyncedStore {
public:
    // Called on the thread that delivers the change (the implementation's own
    // thread, or the caller of a test double).
    using ExternalChangeCallback = std::function<void(const SyncedStoreChange&)>;

    virtual ~SyncedStore() = default;

    virtual std::optional<Value> object(const std::string& key) const = 0;
    virtual void set(const std::string& key, Value value) = 0;
    virtual void removeObject(const std::string& key) = 0;
    virtual std::map<std::string, Value> dictionaryRepresentation() const = 0;
    // Exchanges values with the other devices as far as possible now; false
    // when that could not be done.
    virtual bool synchronize() = 0;

    // Lenient typed readings of object(): false / 0 when there is none.
    bool boolean(const std::string& key) const;
    std::int64_t integer(const std::string& key) const;

    ObserverToken addExternalChangeObserver(ExternalChangeCallback callback);

    // The process's synced store: a LocalSyncedStore unless another one was
    // installed (the cloud layer installs its own at start).
    static std::shared_ptr<SyncedStore> defaultStore();
    static void setDefaultStore(std::shared_ptr<SyncedStore> store);

protected:
    // For implementations: tells the observers about values changed from
    // outside.
    void postExternalChange(const SyncedStoreChange& change) const;

private:
    ObserverList<const SyncedStoreChange&> externalChangeObservers_;
};

}  // namespace tallowmere::defaults
