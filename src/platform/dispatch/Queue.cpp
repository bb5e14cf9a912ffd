#include "platform/dispatch/Queue.h"

#include <cstdio>
#include <cstdlib>

namespace tallowmere::dispatch {

namespace {
thread_local Queue* tCurrentQueue = nullptr;
thread_local const std::string* tCurrentLabel = nullptr;
thread_local const detail::CurrentQueueScope* tInnermostScope = nullptr;
}  // namespace

std::string_view currentQueueLabel() { return tCurrentLabel ? std::string_view(*tCurrentLabel) : std::string_view(); }

Queue* currentQueue() { return tCurrentQueue; }

void fatalMisuse(std::string_view message) {
    std::fprintf(stderr, "Fatal error: %.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
    std::abort();
}

namespace detail {
void bindThread(Queue* queue, const std::string* label) {
    tCurrentQueue = queue;
    tCurrentLabel = label;
}

bool threadIsInside(const Queue* queue) {
    if (tCurrentQueue == queue) return true;
    for (const CurrentQueueScope* scope = tInnermostScope; scope; scope = scope->outer_)
        if (scope->previousQueue_ == queue) return true;
    return false;
}

CurrentQueueScope::CurrentQueueScope(Queue* queue, const std::string* label)
    : previousQueue_(tCurrentQueue), previousLabel_(tCurrentLabel), outer_(tInnermostScope) {
    tCurrentQueue = queue;
    tCurrentLabel = label;
    tInnermostScope = this;
}

CurrentQueueScope::~CurrentQueueScope() {
    tCurrentQueue = previousQueue_;
    tCurrentLabel = previousLabel_;
    tInnermostScope = outer_;
}
}  // namespace detail

}  // namespace tallowmere::dispatch
