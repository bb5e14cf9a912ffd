#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/dispatch/SerialQueue.h"
#include "platform/http/HTTPSessionConfiguration.h"
#include "platform/http/HTTPSessionDelegate.h"
#include "platform/http/HTTPTask.h"

namespace tallowmere::http {

class HTTPDriver;

// A set of requests sharing a configuration, a connection pool and one driver
// thread. Completions and delegate events run on the session's own serial
// callback queue, never on the caller's thread.
class HTTPSession {
public:
    // The delegate, when given, must outlive the session.
    explicit HTTPSession(HTTPSessionConfiguration configuration, HTTPSessionDelegate* delegate = nullptr);
    // Ends every running task with the cancelled error; their completions still run.
    ~HTTPSession();
    HTTPSession(const HTTPSession&) = delete;
    HTTPSession& operator=(const HTTPSession&) = delete;

    const HTTPSessionConfiguration& configuration() const { return configuration_; }
    // A suspended task that ends in the completion.
    std::shared_ptr<HTTPTask> dataTask(HTTPRequest request, HTTPTask::Completion completion);
    // A suspended task that reports to the delegate.
    std::shared_ptr<HTTPTask> dataTask(HTTPRequest request);
    dispatch::SerialQueue& callbackQueue() { return *callbackQueue_; }

private:
    const HTTPSessionConfiguration configuration_;
    std::unique_ptr<dispatch::SerialQueue> callbackQueue_;
    std::shared_ptr<HTTPDriver> driver_;
    std::atomic<std::uint64_t> nextIdentifier_{1};
};

}  // namespace tallowmere::http
