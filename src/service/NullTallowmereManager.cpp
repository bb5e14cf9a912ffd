#include "service/NullTallowmereManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"

namespace tallowmere {

namespace {
using Failure = std::optional<TallowmereServiceError>;
const Failure unknown = TallowmereServiceError::Code::unknown;
}  // namespace

void NullTallowmereManager::addFeeds(std::vector<std::string>, AddFeedsCompletion completion) {
    completeInBackground(std::move(completion), Failure());
}

void NullTallowmereManager::getUserEmail(std::string, UserEmailCompletion completion) {
    completeInBackground(std::move(completion), std::optional<std::string>(), Failure());
}

void NullTallowmereManager::addUser(std::string, std::string, ErrorCompletion completion) {
    completeInBackground(std::move(completion), unknown);
}

void NullTallowmereManager::removeUser(std::string, std::string, ErrorCompletion completion) {
    completeInBackground(std::move(completion), unknown);
}

void NullTallowmereManager::getDiscovery(std::optional<TallowmereDiscoveryNode>, DiscoveryCompletion completion) {
    completeInBackground(std::move(completion), std::optional<TallowmereDiscovery>(), unknown);
}

}  // namespace tallowmere
