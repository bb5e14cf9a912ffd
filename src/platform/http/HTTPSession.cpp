#include "platform/http/HTTPSession.h"

#include "platform/http/HTTPDriver.h"

namespace tallowmere::http {

HTTPSession::HTTPSession(HTTPSessionConfiguration configuration, HTTPSessionDelegate* delegate)
    : configuration_(std::move(configuration)),
      callbackQueue_(std::make_unique<dispatch::SerialQueue>(
          "http_session_callbacks" + (configuration_.identifier.empty() ? "" : "." + configuration_.identifier),
          dispatch::QualityOfService::utility)),
      driver_(std::make_shared<HTTPDriver>(configuration_, *callbackQueue_, delegate)) {
    driver_->launch();
}

HTTPSession::~HTTPSession() {
    // The driver posts the last completions before the callback queue drains and stops.
    driver_->stop();
    callbackQueue_.reset();
}

std::shared_ptr<HTTPTask> HTTPSession::dataTask(HTTPRequest request, HTTPTask::Completion completion) {
    return std::make_shared<HTTPTask>(nextIdentifier_++, std::move(request), std::move(completion), driver_);
}

std::shared_ptr<HTTPTask> HTTPSession::dataTask(HTTPRequest request) { return dataTask(std::move(request), nullptr); }

}  // namespace tallowmere::http
