#pragma once

#include <functional>
#include <utility>

namespace tallowmere::defaults {

// Keeps one observer registered. Destroying (or cancelling) the token
// unregisters it; a callback of it that is running on another thread at that
// moment is waited for, so nothing calls the observer afterwards. Do not
// destroy a token while holding a lock that its callback takes.
class ObserverToken {
public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~ObserverToken() { cancel(); }
    ObserverToken(ObserverToken&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    ObserverToken& operator=(ObserverToken&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;

    void cancel() {
        if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
    }
    // False for an empty token (nothing was registered) and after cancel().
    bool isActive() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

}  // namespace tallowmere::defaults
