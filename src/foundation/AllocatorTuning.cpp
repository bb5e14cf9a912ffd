#include "foundation/AllocatorTuning.h"

#include <malloc.h>

#include <mutex>

namespace tallowmere {

void AllocatorTuning::apply() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Free space at the top of a heap stays up to this size (twice the
        // largest block below, so that freeing one does not hand it back)...
        mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);
        // ...and each growth takes this much more, so that growing and
        // shrinking by a few pages does not alternate.
        mallopt(M_TOP_PAD, 1024 * 1024);
        // Blocks below this size come from the heaps, not from a mapping of
        // their own that is unmapped again when they are freed: a window's
        // backing store is copied at every flush (4 MB at 1280 x 800), and a
        // fresh mapping each time faults in every page of the copy.
        mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
    });
}

}  // namespace tallowmere
