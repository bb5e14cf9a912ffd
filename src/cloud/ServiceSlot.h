#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace tallowmere {

// The process-wide instance of a service, made on first use and replaceable
// (by the real service once it exists, or by a test's own). Safe from any thread.
template <typename Service>
class ServiceSlot {
public:
    explicit ServiceSlot(std::function<std::shared_ptr<Service>()> makeDefault)
        : makeDefault_(std::move(makeDefault)) {}

    std::shared_ptr<Service> get() {
        std::lock_guard lock(mutex_);
        if (!service_) service_ = makeDefault_();
        return service_;
    }

    // Nothing puts the default back on next use.
    void set(std::shared_ptr<Service> service) {
        std::lock_guard lock(mutex_);
        service_ = std::move(service);
    }

private:
    std::mutex mutex_;
    std::function<std::shared_ptr<Service>()> makeDefault_;
    std::shared_ptr<Service> service_;
};

}  // namespace tallowmere
