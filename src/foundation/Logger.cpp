#include "foundation/Logger.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/dispatch/SerialQueue.h"

namespace tallowmere {

namespace {

dispatch::SerialQueue& logQueue() {
    static auto* queue = new dispatch::SerialQueue("logger_queue", dispatch::QualityOfService::background);
    return *queue;
}

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(std::string_view)>& sinkStorage() {
    static std::function<void(std::string_view)> sink;
    return sink;
}

void writeLine(const std::string& line) {
    std::lock_guard lock(sinkMutex());
    if (auto& sink = sinkStorage()) {
        sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

std::optional<LoggerLevel> loggerLevelFromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<LoggerLevel>(raw);
}

std::atomic<int>& Logger::levelStorage() {
    static std::atomic<int> level{static_cast<int>(LoggerLevel::debug)};
    return level;
}

LoggerLevel Logger::level() { return static_cast<LoggerLevel>(rawLevel()); }

void Logger::setLevel(LoggerLevel level) { levelStorage().store(static_cast<int>(level)); }

void Logger::setSink(std::function<void(std::string_view)> sink) {
    drain();
    std::lock_guard lock(sinkMutex());
    sinkStorage() = std::move(sink);
}

void Logger::drain() {
    if (logQueue().isCurrent()) return;
    logQueue().sync([] {});
}

std::string Logger::timeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

std::string Logger::formatLine(std::string_view timeStamp, std::string_view label, std::string_view taggedMessage) {
    std::string line;
    line.reserve(timeStamp.size() + label.size() + taggedMessage.size() + 6);
    line.append("[").append(timeStamp).append("] |").append(label).append("| ").append(taggedMessage);
    return line;
}

void Logger::print(std::string_view tag, std::string description) {
    // Time, label and text are taken on the calling thread, so the line names
    // the caller's queue and the moment of the call.
    std::string stamp = timeStamp();
    std::string label(dispatch::currentQueueLabel());
    std::string tagged = std::string(tag) + description;
    logQueue().async([line = formatLine(stamp, label, tagged)] { writeLine(line); });
}

}  // namespace tallowmere
