#include "service/WebTallowmereManager.h"

#include "feeds/WebService.h"
#include "foundation/DispatchQueueFactory.h"
#include "service/TallowmereService.h"

namespace tallowmere {

namespace {

const std::optional<TallowmereServiceError> unknown = TallowmereServiceError::Code::unknown;

}  // namespace

WebTallowmereManager::WebTallowmereManager(std::string baseURL, WebService& webService)
    : connection_(std::make_shared<Connection>(Connection{std::move(baseURL), webService})),
      discovery_(std::make_shared<DiscoveryLine>()) {
    discovery_->connection = connection_;
    discovery_->queue = makeDispatchQueue(discoveryQueueLabel, QualityOfService::userInitiated);
}

void WebTallowmereManager::addFeeds(std::vector<std::string> urlStrings, AddFeedsCompletion completion) {
    auto request = TallowmereRouter::addFeeds(std::move(urlStrings)).asURLRequest(connection_->baseURL);
    if (!request) {
        completion(unknown);
        return;
    }
    connection_->webService.request(
        std::move(*request), WebServicePriority::default_, true,
        [completion = std::move(completion)](std::optional<http::Bytes> data, std::optional<WebServiceHTTPInfo>,
                                             std::optional<WebServiceFailure> error) {
            // The list of URLs taken is read, then not needed.
            TallowmereService::handleAddFeedsResponse(
                std::move(data), std::move(error),
                [&completion](std::optional<TallowmereAddFeedsResponse>, std::optional<TallowmereServiceError> failure) {
                    completion(failure);
                });
        });
}

void WebTallowmereManager::getUserEmail(std::string guid, UserEmailCompletion completion) {
    sendUserRequest(TallowmereRouter::getUserEmail(std::move(guid)), std::move(completion));
}

void WebTallowmereManager::addUser(std::string guid, std::string email, ErrorCompletion completion) {
    sendUserRequest(TallowmereRouter::addUser(std::move(guid), std::move(email)),
                    [completion = std::move(completion)](std::optional<std::string>,
                                                         std::optional<TallowmereServiceError> error) {
                        completion(error);
                    });
}

void WebTallowmereManager::removeUser(std::string guid, std::string email, ErrorCompletion completion) {
    sendUserRequest(TallowmereRouter::removeUser(std::move(guid), std::move(email)),
                    [completion = std::move(completion)](std::optional<std::string>,
                                                         std::optional<TallowmereServiceError> error) {
                        completion(error);
                    });
}

void WebTallowmereManager::sendUserRequest(const TallowmereRouter& router, UserEmailCompletion completion) {
    auto request = router.asURLRequest(connection_->baseURL);
    if (!request) {
        completion(std::nullopt, unknown);
        return;
    }
    connection_->webService.request(
        std::move(*request), WebServicePriority::default_, true,
        [completion = std::move(completion)](std::optional<http::Bytes> data, std::optional<WebServiceHTTPInfo>,
                                             std::optional<WebServiceFailure> error) {
            TallowmereService::handleUserGUIDResponse(
                std::move(data), std::move(error),
                [&completion](std::optional<TallowmereUserGUIDResponse> response,
                              std::optional<TallowmereServiceError> failure) {
                    completion(response ? response->email : std::nullopt, failure);
                });
        });
}

void WebTallowmereManager::getDiscovery(std::optional<TallowmereDiscoveryNode> node, DiscoveryCompletion completion) {
    discovery_->queue->async([line = discovery_, node = std::move(node), completion = std::move(completion)]() mutable {
        line->waiting.push_back(DiscoveryJob{std::move(node), std::move(completion)});
        sendNextDiscovery(line);
    });
}

void WebTallowmereManager::sendNextDiscovery(const std::shared_ptr<DiscoveryLine>& line) {
    while (!line->busy && !line->waiting.empty()) {
        DiscoveryJob job = std::move(line->waiting.front());
        line->waiting.pop_front();
        auto request = TallowmereRouter::getDiscovery(std::move(job.node)).asURLRequest(line->connection->baseURL);
        if (!request) {
            job.completion(std::nullopt, unknown);
            continue;
        }
        line->busy = true;
        line->connection->webService.request(
            std::move(*request), WebServicePriority::default_, true,
            [line, completion = std::move(job.completion)](std::optional<http::Bytes> data,
                                                           std::optional<WebServiceHTTPInfo>,
                                                           std::optional<WebServiceFailure> error) {
                TallowmereService::handleDiscoveryResponse(
                    std::move(data), std::move(error),
                    [&line, &completion](std::optional<TallowmereDiscovery> discovery,
                                         std::optional<TallowmereServiceError> failure) {
                        // The next job may go out while this completion runs.
                        line->queue->async([line] {
                            line->busy = false;
                            sendNextDiscovery(line);
                        });
                        completion(std::move(discovery), failure);
                    });
            });
    }
}

}  // namespace tallowmere
