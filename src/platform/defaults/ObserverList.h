#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults/ObserverToken.h"

namespace tallowmere::defaults {

// Observers, each for one key or for every key. notify() calls them on the
// calling thread, outside the list's lock, so a callback may read the store
// that notified it, change it, or cancel tokens (its own included).
template <typename... Args>
class ObserverList {
public:
    using Callback = std::function<void(Args...)>;

    // An observer of `key`, or of every key when there is none.
    ObserverToken add(std::optional<std::string> key, Callback callback) {
        auto slot = std::make_shared<Slot>(std::move(key), std::move(callback));
        {
            std::lock_guard lock(state_->mutex);
            state_->slots.push_back(slot);
        }
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Slot> weakSlot = slot;
        return ObserverToken([weakState, weakSlot] {
            const auto slot = weakSlot.lock();
            if (!slot) return;
            {
                // Waits for a call in flight on another thread; re-entrant for
                // a callback that cancels itself.
                std::lock_guard callLock(slot->callMutex);
                slot->active = false;
            }
            if (const auto state = weakState.lock()) {
                std::lock_guard lock(state->mutex);
                std::erase(state->slots, slot);
            }
        });
    }

    void notify(const std::string& key, Args... args) const {
        for (const auto& slot : matching(key)) {
            std::lock_guard callLock(slot->callMutex);
            if (slot->active) slot->callback(args...);
        }
    }

private:
    struct Slot {
        Slot(std::optional<std::string> key, Callback callback)
            : key(std::move(key)), callback(std::move(callback)) {}
        const std::optional<std::string> key;
        const Callback callback;
        std::recursive_mutex callMutex;
        bool active = true;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Slot>> slots;
    };

    std::vector<std::shared_ptr<Slot>> matching(const std::string& key) const {
        std::lock_guard lock(state_->mutex);
        std::vector<std::shared_ptr<Slot>> found;
        for (const auto& slot : state_->slots) {
            if (!slot->key || *slot->key == key) found.push_back(slot);
        }
        return found;
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tallowmere::defaults
