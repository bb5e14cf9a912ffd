#include "cloud/CloudManager.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"

namespace tallowmere {

namespace {

// Whole seconds of a delay the service asked for, truncated; nothing when it
// cannot be a delay at all.
std::optional<std::int64_t> wholeSeconds(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 ||
        seconds >= static_cast<double>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}

}  // namespace

CloudManager::CloudManager(ContainerSource source)
    : source_(source ? std::move(source) : ContainerSource([] { return cloud::Container::shared(); })),
      retryQueue_(makeDispatchQueue(retryQueueLabel, QualityOfService::utility)) {
    scheduler_ = [queue = retryQueue_.get()](std::chrono::seconds delay, std::function<void()> task) {
        queue->asyncAfter(std::chrono::duration_cast<std::chrono::milliseconds>(delay), std::move(task));
    };
}

// The queue goes first, so that no queued retry outlives the manager's fields.
CloudManager::~CloudManager() { retryQueue_.reset(); }

std::shared_ptr<cloud::Container> CloudManager::container() {
    std::call_once(containerOnce_, [this] { container_ = source_(); });
    return container_;
}

std::shared_ptr<cloud::Database> CloudManager::publicDB() {
    std::call_once(publicOnce_, [this] { publicDB_ = container()->publicDatabase(); });
    return publicDB_;
}

std::shared_ptr<cloud::Database> CloudManager::privateDB() {
    std::call_once(privateOnce_, [this] { privateDB_ = container()->privateDatabase(); });
    return privateDB_;
}

bool CloudManager::isTransient(const cloud::Error& error) {
    switch (error.code) {
        case cloud::ErrorCode::networkFailure:
        case cloud::ErrorCode::serviceUnavailable:
        case cloud::ErrorCode::requestRateLimited:
        case cloud::ErrorCode::zoneBusy:
            return true;
        default:
            return false;
    }
}

bool CloudManager::handleError(const std::optional<cloud::Error>& error, std::function<void()> retry) {
    if (!error) {
        retryQueue_->async([this] { retrySeconds_ = initialRetrySeconds; });
        return false;
    }
    Logger::error([&] { return "cloudkit error: " + error->textualDescription(); });
    if (!isTransient(*error)) {
        retryQueue_->async([this] { retrySeconds_ = initialRetrySeconds; });
        return false;
    }
    retryQueue_->async([this, error = *error, retry = std::move(retry)]() mutable {
        scheduleRetry(error, std::move(retry));
    });
    return true;
}

void CloudManager::scheduleRetry(const cloud::Error& error, std::function<void()> retry) {
    std::optional<std::int64_t> seconds;
    if (error.retryAfterSeconds) seconds = wholeSeconds(*error.retryAfterSeconds);
    if (!seconds) seconds = wholeSeconds(retrySeconds_);
    retrySeconds_ += retryStepSeconds;
    scheduler_(std::chrono::seconds(seconds.value_or(0)), std::move(retry));
}

double CloudManager::retrySeconds() {
    double seconds = 0;
    retryQueue_->sync([&] { seconds = retrySeconds_; });
    return seconds;
}

void CloudManager::setScheduler(Scheduler scheduler) {
    retryQueue_->sync([&] { scheduler_ = std::move(scheduler); });
}

}  // namespace tallowmere
