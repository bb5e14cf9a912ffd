#include "service/NullTallowmereManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"

namespace tallowmere {

void NullTallowmereManager::addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) {
    completeInBackground(std::move(completion), std::optional<std::vector<std::string>>(std::move(urlStrings)),
                         std::optional<TallowmereServiceError>());
}

}  // namespace tallowmere
