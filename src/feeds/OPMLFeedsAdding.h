#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere {

// What an import asks of the feeds manager: add a list of feeds as one batch
// and then run the after-batch step once for the whole list.
class OPMLFeedsAdding {
public:
    struct Pair {
        std::string urlString;
        std::optional<std::string> folder;  // found or created by name; none: top level
        bool operator==(const Pair&) const = default;
    };

    virtual ~OPMLFeedsAdding() = default;
    // Starts one batch addition per pair (after-add steps off, failures not
    // reported), and once every one has ended runs the after-batch step with
    // the whole list, the cloud feed list saved first and the read and starred
    // state uploaded. The completion runs exactly once, when that step has
    // finished, on any thread.
    virtual void addFeedsAsBatch(std::vector<Pair> pairs, std::function<void()> completion) = 0;
};

}  // namespace tallowmere
