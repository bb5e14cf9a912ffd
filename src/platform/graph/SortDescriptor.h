#pragma once

#include <string>
#include <vector>

#include "platform/graph/Value.h"

namespace tallowmere::graph {

struct SortDescriptor {
    std::string keyPath;
    bool ascending = true;
    // Localized standard comparison (numeric, case-insensitive collation).
    bool localizedStandard = false;
};

// Compares two rows of sort values (one per descriptor) as the store orders them.
int compareSortKeys(const Value* a, const Value* b, const std::vector<SortDescriptor>& sorts);

}  // namespace tallowmere::graph
