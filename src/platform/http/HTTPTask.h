#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/http/HTTPError.h"
#include "platform/http/HTTPRequest.h"
#include "platform/http/HTTPResponse.h"

namespace tallowmere::http {

class HTTPDriver;

using Bytes = std::vector<std::uint8_t>;

// One request of a session. Made suspended; resume() starts it. It ends exactly
// once: in its completion, or, for a task made without one, in the session
// delegate's didComplete.
class HTTPTask : public std::enable_shared_from_this<HTTPTask> {
public:
    // Body (absent on failure), the final response when one arrived, the failure.
    using Completion =
        std::function<void(std::optional<Bytes> body, std::optional<HTTPResponse> response, std::optional<HTTPError> error)>;

    HTTPTask(std::uint64_t identifier, HTTPRequest request, Completion completion, std::weak_ptr<HTTPDriver> driver);
    HTTPTask(const HTTPTask&) = delete;
    HTTPTask& operator=(const HTTPTask&) = delete;

    std::uint64_t identifier() const { return identifier_; }
    const HTTPRequest& request() const { return request_; }
    // Starts the request; a second call does nothing.
    void resume();
    // Ends the request with the cancelled error unless it has already ended.
    void cancel();

private:
    friend class HTTPDriver;
    bool hasCompletion() const { return static_cast<bool>(completion_); }
    // True for the one caller that may report the end.
    bool claimEnd() { return !ended_.exchange(true); }
    bool hasEnded() const { return ended_.load(); }

    const std::uint64_t identifier_;
    const HTTPRequest request_;
    Completion completion_;
    std::weak_ptr<HTTPDriver> driver_;
    std::atomic<bool> resumed_{false};
    std::atomic<bool> ended_{false};
};

}  // namespace tallowmere::http
