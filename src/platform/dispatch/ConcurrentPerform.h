#pragma once

#include <cstddef>
#include <functional>

#include "platform/dispatch/Queue.h"

namespace tallowmere::dispatch {

// Runs `work(index)` for every index below `count`, on the calling thread
// and on such workers of the global queue of `qos` as join in, and returns
// once every index has been done. The caller waits only for indices a worker
// has already begun, never for a worker to become free: workers that are
// busy (or blocked on something the caller holds) cost speed, not progress.
void concurrentPerform(std::size_t count, QualityOfService qos, const std::function<void(std::size_t)>& work);

}  // namespace tallowmere::dispatch
