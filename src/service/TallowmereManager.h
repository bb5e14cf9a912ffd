#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/TallowmereServiceError.h"

namespace tallowmere {

// The requests made to the backend on behalf of the rest of the program.
class TallowmereManager {
public:
    // The URLs the backend reports as added, or why there is no reply. Runs
    // exactly once, on a background thread.
    using AddFeedsCompletion = std::function<void(std::optional<std::vector<std::string>> addedURLs,
                                                  std::optional<TallowmereServiceError> error)>;

    static constexpr const char* addFeedsPath = "/add";

    virtual ~TallowmereManager() = default;

    // Reports the feed URLs to the backend's "/add".
    virtual void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) = 0;

    // A stand-in that answers at once until the backend client replaces it.
    static std::shared_ptr<TallowmereManager> shared();
    static void setShared(std::shared_ptr<TallowmereManager> manager);
};

}  // namespace tallowmere
