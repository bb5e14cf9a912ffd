#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/graph/Predicate.h"
#include "platform/graph/SortDescriptor.h"

namespace tallowmere::graph {

// What to fetch. A fetch of a parent entity includes its child entities.
struct FetchRequest {
    std::string entityName;
    Predicate predicate = Predicate::truePredicate();
    std::vector<SortDescriptor> sortDescriptors;
    std::size_t fetchLimit = 0;  // 0: no limit
    std::size_t batchSize = 0;   // 0: load every row at once; n: load rows n at a time as they are read
    std::vector<std::string> prefetchKeyPaths;  // to-one relations loaded with each batch

    explicit FetchRequest(std::string entity = {}) : entityName(std::move(entity)) {}
};

}  // namespace tallowmere::graph
