#pragma once

#include <chrono>
#include <cstddef>

namespace tallowmere::textindex {

struct TextIndexSearchOptions {
    // Most URIs handed over in one batch.
    std::size_t batchSize = 50;
    // A batch is handed over when this time has passed since it was begun,
    // even when it is not full, so that a slow search still shows progress.
    std::chrono::milliseconds passTimeLimit{1000};
};

// How a search ended.
enum class TextIndexSearchEnd {
    finished,   // every match was handed over
    cancelled,  // stopped at a batch boundary by its cancellation
};

}  // namespace tallowmere::textindex
