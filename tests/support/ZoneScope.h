#pragma once

#include <ctime>

#include "support/ScopedEnv.h"

namespace tallowmere::test {

// Pins the process's time zone for one scope.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) : env_("TZ", zone) { tzset(); }
    ~ZoneScope() { tzset(); }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    ScopedEnv env_;
};

}  // namespace tallowmere::test
