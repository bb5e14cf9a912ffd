#include "platform/cloud/Log.h"

#include <cstdio>
#include <mutex>

namespace tallowmere::cloud {
namespace {

std::mutex& handlerMutex() {
    static std::mutex mutex;
    return mutex;
}

Log::Handler& handlerSlot() {
    static Log::Handler handler;
    return handler;
}

}  // namespace

void Log::setHandler(Handler handler) {
    std::lock_guard lock(handlerMutex());
    handlerSlot() = std::move(handler);
}

void Log::error(const std::string& line) {
    std::lock_guard lock(handlerMutex());
    if (handlerSlot()) {
        handlerSlot()(line);
    } else {
        std::fprintf(stderr, "cloud: %s\n", line.c_str());
    }
}

}  // namespace tallowmere::cloud
