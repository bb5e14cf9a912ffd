#pragma once

#include <mutex>
#include <optional>

#include "feeds/RSSServiceError.h"

namespace tallowmere {

// The outcome of one refresh, written by the answers of its feeds from
// whatever thread processes them: the error of the last failed answer.
class RefreshErrorSlot {
public:
    void record(RSSServiceError error) {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    std::optional<RSSServiceError> error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<RSSServiceError> error_;
};

}  // namespace tallowmere
