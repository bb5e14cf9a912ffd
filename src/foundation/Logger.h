#pragma once

#include <atomic>
#include <concepts>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace tallowmere {

enum class LoggerLevel : int { verbose = 0, debug = 1, info = 2, warning = 3, error = 4 };

std::optional<LoggerLevel> loggerLevelFromRaw(int raw);

namespace logger_detail {
// The ordinary textual description of a message value.
template <typename T>
std::string describe(T&& value) {
    using Plain = std::remove_cvref_t<T>;
    if constexpr (std::is_convertible_v<T, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_same_v<Plain, std::error_code>) {
        return value.message();
    } else if constexpr (std::is_base_of_v<std::exception, Plain>) {
        return value.what();
    } else if constexpr (std::is_same_v<Plain, bool>) {
        return value ? "true" : "false";
    } else if constexpr (requires(const Plain& v) { v.description(); }) {
        return std::string(value.description());
    } else {
        std::ostringstream out;
        out << value;
        return out.str();
    }
}
}  // namespace logger_detail

// Diagnostic lines on standard output, printed in order on "logger_queue":
// "[HH:mm:ss.SSS] |<queue label>| [ERROR]: <message>". Only warnings and errors
// print. Messages are callables, run only when the line is printed, so a
// suppressed call costs one comparison:  Logger::error([&] { return text; });
class Logger {
public:
    static LoggerLevel level();
    static void setLevel(LoggerLevel level);

    template <std::invocable Message>
    static void verbose(Message&&) {}
    template <std::invocable Message>
    static void debug(Message&&) {}
    template <std::invocable Message>
    static void info(Message&&) {}

    template <std::invocable Message>
    static void warning(Message&& message) {
        if (rawLevel() > static_cast<int>(LoggerLevel::warning)) return;
        print("[WARNING]: ", logger_detail::describe(std::invoke(std::forward<Message>(message))));
    }
    template <std::invocable Message>
    static void error(Message&& message) {
        if (rawLevel() > static_cast<int>(LoggerLevel::error)) return;
        print("[ERROR]: ", logger_detail::describe(std::invoke(std::forward<Message>(message))));
    }

    // Where printed lines go (standard output by default); for tests. Each line
    // is handed over without its newline.
    static void setSink(std::function<void(std::string_view line)> sink);
    // Waits until every line submitted so far is printed (tests, shutdown).
    static void drain();

    // The line as printed, without the newline.
    static std::string formatLine(std::string_view timeStamp, std::string_view label, std::string_view taggedMessage);
    static std::string timeStamp();

private:
    static int rawLevel() { return levelStorage().load(std::memory_order_relaxed); }
    static std::atomic<int>& levelStorage();
    static void print(std::string_view tag, std::string description);
};

}  // namespace tallowmere
