#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallowmere::defaults {

// What a synced store reports when values changed from outside (another
// device). The changed keys are missing when the report came without them or
// in a shape that is not a list of texts; receivers ignore such reports.
struct SyncedStoreChange {
    std::optional<std::vector<std::string>> changedKeys;
};

}  // namespace tallowmere::defaults
