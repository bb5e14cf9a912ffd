#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/TallowmereDiscovery.h"
#include "service/TallowmereDiscoveryNode.h"
#include "service/TallowmereServiceError.h"

namespace tallowmere {

namespace defaults {
class UserDefaults;
}
class WebService;

// The client of the maker's backend: reports the user's feed URLs, asks for,
// registers and removes the newsletter address kept for a user GUID, and
// fetches the discovery catalogue. Every completion runs exactly once, on a
// background thread. No error and no value means the backend accepted the
// request (or answered something unreadable, which is logged).
class TallowmereManager {
public:
    using ErrorCompletion = std::function<void(std::optional<TallowmereServiceError> error)>;
    using AddFeedsCompletion = ErrorCompletion;
    using UserEmailCompletion =
        std::function<void(std::optional<std::string> email, std::optional<TallowmereServiceError> error)>;
    using DiscoveryCompletion =
        std::function<void(std::optional<TallowmereDiscovery> discovery, std::optional<TallowmereServiceError> error)>;

    // The local setting that names the backend: an https URL ending in "/api".
    static constexpr const char* backendURLKey = "BackendURL";
    static constexpr const char* discoveryQueueLabel = "tallowmere_manager_discovery_queue";

    virtual ~TallowmereManager() = default;

    // Reports the feed URLs to the backend's "/add".
    virtual void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) = 0;
    // The address the backend holds for the GUID, when it holds one.
    virtual void getUserEmail(std::string guid, UserEmailCompletion completion) = 0;
    // Registers the address for the GUID.
    virtual void addUser(std::string guid, std::string email, ErrorCompletion completion) = 0;
    // Removes the address of the GUID.
    virtual void removeUser(std::string guid, std::string email, ErrorCompletion completion) = 0;
    // The catalogue below the node (the top one without a node). Requests go
    // out one at a time, and complete in the order of the calls.
    virtual void getDiscovery(std::optional<TallowmereDiscoveryNode> node, DiscoveryCompletion completion) = 0;

    // A stand-in that answers at once until the backend client replaces it.
    static std::shared_ptr<TallowmereManager> shared();
    static void setShared(std::shared_ptr<TallowmereManager> manager);

    // At start-up: puts the backend client in place when backendURLKey holds
    // a usable address, and says so; otherwise warns (when the setting is
    // there) and keeps the stand-in.
    static bool installFromSettings(const defaults::UserDefaults& settings, WebService& webService);
};

}  // namespace tallowmere
