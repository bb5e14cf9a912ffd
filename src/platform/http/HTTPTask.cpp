#include "platform/http/HTTPTask.h"

#include "platform/http/HTTPDriver.h"

namespace tallowmere::http {

HTTPTask::HTTPTask(std::uint64_t identifier, HTTPRequest request, Completion completion,
                   std::weak_ptr<HTTPDriver> driver)
    : identifier_(identifier), request_(std::move(request)), completion_(std::move(completion)),
      driver_(std::move(driver)) {}

void HTTPTask::resume() {
    if (resumed_.exchange(true)) return;
    if (auto driver = driver_.lock()) driver->start(shared_from_this());
}

void HTTPTask::cancel() {
    if (hasEnded()) return;
    if (auto driver = driver_.lock()) driver->cancel(shared_from_this());
}

}  // namespace tallowmere::http
