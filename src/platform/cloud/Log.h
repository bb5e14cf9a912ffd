#pragma once

#include <functional>
#include <string>

namespace tallowmere::cloud {

// Where the cloud layer writes its few log lines (a backing that cannot be
// opened, a watcher that falls back to polling). Standard error until the
// program installs its logger.
class Log {
public:
    using Handler = std::function<void(const std::string& line)>;

    static void setHandler(Handler handler);
    static void error(const std::string& line);
};

}  // namespace tallowmere::cloud
