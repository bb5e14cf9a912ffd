#pragma once

#include "service/TallowmereManager.h"

namespace tallowmere {

// No backend: every feed counts as added, and the answer comes at once on a
// background queue. It must answer: callers wait for it.
class NullTallowmereManager final : public TallowmereManager {
public:
    void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) override;
};

}  // namespace tallowmere
