#pragma once

#include <deque>
#include <memory>
#include <string>

#include "platform/dispatch/SerialQueue.h"
#include "service/TallowmereManager.h"
#include "service/TallowmereRouter.h"

namespace tallowmere {

class WebService;

// The backend client proper: builds each request with TallowmereRouter, sends
// it through the web layer at default priority and reads the reply with
// TallowmereService. When no request can be built (the base URL is no URL,
// or the body cannot be written) the completion gets unknown at once.
//
// The three user requests share one URL, so a newer one cancels an earlier
// one still running, which then ends as unknown.
//
// Discovery jobs wait on discoveryQueue; the next goes out once the reply to
// the one before has been handled, so requests go one at a time and complete
// in call order. No thread is blocked while a reply is awaited.
class WebTallowmereManager final : public TallowmereManager {
public:
    // The web service must outlive every request sent through it.
    WebTallowmereManager(std::string baseURL, WebService& webService);

    void addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) override;
    void getUserEmail(std::string guid, UserEmailCompletion completion) override;
    void addUser(std::string guid, std::string email, ErrorCompletion completion) override;
    void removeUser(std::string guid, std::string email, ErrorCompletion completion) override;
    void getDiscovery(std::optional<TallowmereDiscoveryNode> node, DiscoveryCompletion completion) override;

    const std::string& baseURL() const { return connection_->baseURL; }

private:
    struct Connection {
        std::string baseURL;
        WebService& webService;
    };
    struct DiscoveryJob {
        std::optional<TallowmereDiscoveryNode> node;
        DiscoveryCompletion completion;
    };
    // The discovery line; the reply of a job in flight keeps it alive.
    struct DiscoveryLine {
        std::shared_ptr<const Connection> connection;
        std::unique_ptr<dispatch::SerialQueue> queue;
        // On queue only.
        std::deque<DiscoveryJob> waiting;
        bool busy = false;
    };

    void sendUserRequest(const TallowmereRouter& router, UserEmailCompletion completion);
    // On the line's queue: sends the next waiting job unless one is in flight.
    static void sendNextDiscovery(const std::shared_ptr<DiscoveryLine>& line);

    std::shared_ptr<const Connection> connection_;
    std::shared_ptr<DiscoveryLine> discovery_;
};

}  // namespace tallowmere
