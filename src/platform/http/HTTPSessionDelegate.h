#pragma once

#include <optional>

#include "platform/http/HTTPError.h"
#include "platform/http/HTTPTask.h"

namespace tallowmere::http {

// Receives the events of the tasks a session made without a completion, on the
// session's callback queue, one at a time.
class HTTPSessionDelegate {
public:
    virtual ~HTTPSessionDelegate() = default;
    virtual void didReceiveData(HTTPTask& task, const Bytes& data) = 0;
    virtual void didComplete(HTTPTask& task, const std::optional<HTTPError>& error) = 0;
};

}  // namespace tallowmere::http
