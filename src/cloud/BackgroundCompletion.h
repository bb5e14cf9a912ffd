#pragma once

#include <functional>
#include <tuple>
#include <utility>

#include "platform/dispatch/GlobalQueue.h"

namespace tallowmere {

// Runs a stand-in service's completion once, at once, on a background queue
// (never on the caller's thread, as the real service would). An empty
// completion is skipped.
template <typename... Signature, typename... Args>
void completeInBackground(std::function<void(Signature...)> completion, Args&&... args) {
    if (!completion) return;
    dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility)
        .async([completion = std::move(completion), arguments = std::make_tuple(std::forward<Args>(args)...)] {
            std::apply(completion, arguments);
        });
}

}  // namespace tallowmere
