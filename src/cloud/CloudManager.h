#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/cloud/Container.h"
#include "platform/cloud/Error.h"
#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

// The common base of the cloud managers: the container and its two
// databases, made once on first use, and the one rule for passing errors:
// network failure, service unavailable, rate limited and zone busy are tried
// again after a delay that grows by ten seconds per retry, and every other
// outcome sets the delay back to ten seconds. Each manager has its own delay
// and its own retry queue.
class CloudManager {
public:
    using ContainerSource = std::function<std::shared_ptr<cloud::Container>()>;
    // Runs the task on the retry queue after the delay. Tests put one in
    // that records the delays instead of waiting for them.
    using Scheduler = std::function<void(std::chrono::seconds delay, std::function<void()> task)>;

    static constexpr const char* retryQueueLabel = "cloud_manager_retry_queue";
    static constexpr double initialRetrySeconds = 10.0;
    static constexpr double retryStepSeconds = 10.0;

    // Without a source the process's container is used.
    explicit CloudManager(ContainerSource source = {});
    virtual ~CloudManager();
    CloudManager(const CloudManager&) = delete;
    CloudManager& operator=(const CloudManager&) = delete;

    std::shared_ptr<cloud::Container> container();
    std::shared_ptr<cloud::Database> publicDB();
    std::shared_ptr<cloud::Database> privateDB();

    // Logs a present error; true when it is passing and the retry has been
    // scheduled (the caller then reports nothing: the retried step will).
    bool handleError(const std::optional<cloud::Error>& error, std::function<void()> retry);

    static bool isTransient(const cloud::Error& error);

    dispatch::SerialQueue& retryQueue() { return *retryQueue_; }
    // Read on the retry queue, so after every change queued so far.
    double retrySeconds();
    void setScheduler(Scheduler scheduler);

private:
    void scheduleRetry(const cloud::Error& error, std::function<void()> retry);

    ContainerSource source_;
    std::once_flag containerOnce_;
    std::once_flag publicOnce_;
    std::once_flag privateOnce_;
    std::shared_ptr<cloud::Container> container_;
    std::shared_ptr<cloud::Database> publicDB_;
    std::shared_ptr<cloud::Database> privateDB_;
    // Only read and written on the retry queue.
    double retrySeconds_ = initialRetrySeconds;
    Scheduler scheduler_;  // set before the first retry
    std::unique_ptr<dispatch::SerialQueue> retryQueue_;
};

}  // namespace tallowmere
