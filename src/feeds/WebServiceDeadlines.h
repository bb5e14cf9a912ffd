#pragma once

#include <chrono>

namespace tallowmere {

// The longest a request of the web service may take in all, whatever its
// idle time-out: a server that sends a byte every few seconds would
// otherwise hold a refresh for ever. The one place these limits are set.
struct WebServiceDeadlines {
    static constexpr std::chrono::milliseconds defaultSession{60'000};
    static constexpr std::chrono::milliseconds defaultBackground{300'000};

    // The default and low priority sessions.
    std::chrono::milliseconds session = defaultSession;
    // The background session.
    std::chrono::milliseconds background = defaultBackground;
};

}  // namespace tallowmere
