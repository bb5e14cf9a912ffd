#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace tallowmere::test {

// Collects the lines the logger prints while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // Every line printed so far (waits for the logger's queue first).
    std::vector<std::string> lines();

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace tallowmere::test
