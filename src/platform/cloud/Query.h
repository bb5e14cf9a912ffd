#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Predicate.h"

namespace tallowmere::cloud {

// The one sort of a query. Records lacking the field come last; records
// that sort alike come in order of their names.
struct SortDescriptor {
    std::string key;
    bool ascending = true;

    bool operator==(const SortDescriptor&) const = default;
};

struct Query {
    Query() = default;
    explicit Query(std::string recordType, Predicate predicate = Predicate::all(),
                   std::optional<SortDescriptor> sort = std::nullopt)
        : recordType(std::move(recordType)), predicate(std::move(predicate)), sort(std::move(sort)) {}

    std::string recordType;
    Predicate predicate = Predicate::all();
    std::optional<SortDescriptor> sort;
};

// How much a query (or its continuation) hands back.
struct QueryOptions {
    // At most this many records in this page; 0 means the layer's page size.
    // The page never holds more than the page size either.
    std::size_t resultsLimit = 0;
    // Only these fields of each record; every field when there is nothing.
    std::optional<std::vector<std::string>> desiredKeys;
};

}  // namespace tallowmere::cloud
