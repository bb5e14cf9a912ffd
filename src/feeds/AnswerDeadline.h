#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "foundation/Logger.h"
#include "platform/dispatch/GlobalQueue.h"

namespace tallowmere {

// Waits a bounded time for another service's answer. The continuation runs
// exactly once: with the answer, or with the fallback values when no answer
// came within the time-out (a late answer is then dropped). Work that holds
// a resource while it waits, such as a unit of the add semaphore, so never
// hangs on a service that does not answer.
template <typename... Args>
class AnswerDeadline {
public:
    using Continuation = std::function<void(Args...)>;

    // The function to hand to the service as its completion.
    static Continuation bounded(std::string what, std::chrono::milliseconds timeout, std::tuple<Args...> fallback,
                                Continuation continuation) {
        auto state = std::make_shared<State>();
        state->continuation = std::move(continuation);
        dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility)
            .asyncAfter(timeout, [state, what = std::move(what), fallback = std::move(fallback)]() mutable {
                Continuation continuation = state->take();
                if (!continuation) return;
                Logger::warning([&] { return "no answer from " + what + ", going on without it"; });
                std::apply(continuation, std::move(fallback));
            });
        return [state](Args... args) {
            Continuation continuation = state->take();
            if (continuation) continuation(std::move(args)...);
        };
    }

private:
    struct State {
        std::atomic<bool> done{false};
        Continuation continuation;
        // The continuation for whoever comes first; empty for the other.
        Continuation take() {
            if (done.exchange(true)) return {};
            return std::move(continuation);
        }
    };
};

}  // namespace tallowmere
