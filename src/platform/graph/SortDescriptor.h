#pragma once

#include <string>

namespace tallowmere::graph {

struct SortDescriptor {
    std::string keyPath;
    bool ascending = true;
    // Localized standard comparison (numeric, case-insensitive collation).
    bool localizedStandard = false;
};

}  // namespace tallowmere::graph
