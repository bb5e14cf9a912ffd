#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CloudManager.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/ContainerCloudUserManager.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"
#include "support/FaultInjectingContainer.h"

namespace tallowmere::test {

// Records the subscriptions asked for and answers at once, in the background.
class RecordingNotificationsManager final : public CloudNotificationsManager {
public:
    void updateNewArticleSubscription(Completion completion) override { later(completion); }
    void updateNewArticleSubscription(std::vector<Feed>, Completion completion) override { later(completion); }
    void subscribeGUIDUpdates(const std::string& guid, Completion completion) override {
        {
            std::lock_guard lock(mutex_);
            guids_.push_back(guid);
        }
        later(completion);
    }
    void subscribeSyncUpdates(Completion completion) override {
        ++syncSubscriptions;
        later(completion);
    }
    void handleRemoteNotification(const UserInfo&, Completion completion) override { later(completion); }
    std::map<std::string, nlohmann::json> userInfoForCloudKit(const UserInfo&) const override { return {}; }

    std::vector<std::string> guids() {
        std::lock_guard lock(mutex_);
        return guids_;
    }
    std::atomic<int> syncSubscriptions{0};

private:
    static void later(Completion completion) { completeInBackground(std::move(completion)); }
    std::mutex mutex_;
    std::vector<std::string> guids_;
};

// Scheduled retries recorded and run at once, so tests see the delays
// without waiting for them.
class RetryRecorder {
public:
    CloudManager::Scheduler scheduler(dispatch::SerialQueue& queue) {
        return [this, &queue](std::chrono::seconds delay, std::function<void()> task) {
            {
                std::lock_guard lock(mutex_);
                delays_.push_back(delay.count());
            }
            queue.async(std::move(task));
        };
    }
    std::vector<long> delays() {
        std::lock_guard lock(mutex_);
        return delays_;
    }

private:
    std::mutex mutex_;
    std::vector<long> delays_;
};

// One device of an account on the embedded cloud file: its container behind
// fault injection, its own settings switch and its own user manager.
struct CloudDevice {
    CloudDevice(const std::filesystem::path& folder, const std::string& account = "alice")
        : CloudDevice(cloud::Container::make(cloud::Configuration::localFile(folder / "cloud.sqlite", account))) {}
    explicit CloudDevice(std::shared_ptr<cloud::Container> inner)
        : container(std::make_shared<FaultInjectingContainer>(std::move(inner))),
          notifications(std::make_shared<RecordingNotificationsManager>()),
          user(std::make_shared<ContainerCloudUserManager>([c = container] { return c; },
                                                           [this] { return cloudEnabled.load(); },
                                                           [n = notifications] { return n; })) {
        user->setScheduler(userRetries.scheduler(user->retryQueue()));
    }
    static CloudDevice signedOut() { return CloudDevice(cloud::Container::make(cloud::Configuration::none())); }

    std::shared_ptr<FaultInjectingContainer> container;
    std::shared_ptr<RecordingNotificationsManager> notifications;
    std::atomic<bool> cloudEnabled{true};
    RetryRecorder userRetries;
    std::shared_ptr<ContainerCloudUserManager> user;
};

// Waits (at most twenty seconds) for the one answer of an asynchronous call.
template <typename T>
T await(const std::function<void(std::function<void(T)>)>& call) {
    auto promise = std::make_shared<std::promise<T>>();
    auto future = promise->get_future();
    call([promise](T value) { promise->set_value(std::move(value)); });
    if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "no answer";
        return T{};
    }
    return future.get();
}

inline void awaitDone(const std::function<void(std::function<void()>)>& call) {
    await<bool>([&](std::function<void(bool)> done) { call([done] { done(true); }); });
}

// Polls the condition until it holds (at most twenty seconds).
inline bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline cloud::Date secondsDate(std::int64_t seconds) { return cloud::Date(std::chrono::seconds(seconds)); }

}  // namespace tallowmere::test
