#include "support/LogCapture.h"

#include "foundation/Logger.h"

namespace tallowmere::test {

LogCapture::LogCapture() {
    Logger::setSink([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    });
}

LogCapture::~LogCapture() { Logger::setSink(nullptr); }

std::vector<std::string> LogCapture::lines() {
    Logger::drain();
    std::lock_guard lock(mutex_);
    return lines_;
}

}  // namespace tallowmere::test
