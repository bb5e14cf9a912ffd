#pragma once

#include "service/TallowmereManager.h"

namespace tallowmere {

// No backend: feed reports count as taken, there is no stored address, and
// everything else fails as unknown, so that nothing reports a success that
// never happened. The answer comes at once on a background queue; callers
// wait for it.
class NullTallowmereManager : public TallowmereManager {
public:
    void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) override;
    void getUserEmail(std::string guid, UserEmailCompletion completion) override;
    void addUser(std::string guid, std::string email, ErrorCompletion completion) override;
    void removeUser(std::string guid, std::string email, ErrorCompletion completion) override;
    void getDiscovery(std::optional<TallowmereDiscoveryNode> node, DiscoveryCompletion completion) override;
};

}  // namespace tallowmere
