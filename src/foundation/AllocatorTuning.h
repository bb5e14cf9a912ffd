#pragma once

namespace tallowmere {

// The C library's allocator, set for a program that refreshes hundreds of
// feeds at once: by default it hands freed pages back to the kernel after
// every burst of work and takes them again for the next one, which showed
// as a third of a refresh's time spent in the kernel. Kept pages are
// reused instead; the process's size stays bounded by its peak.
class AllocatorTuning {
public:
    // Process-wide; the first call sets, later calls do nothing.
    static void apply();
};

}  // namespace tallowmere
