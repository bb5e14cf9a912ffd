#pragma once

#include "platform/defaults/UserDefaults.h"

namespace tallowmere {

// Routes the problems of a settings file (a corrupt file set aside, a failed
// write) to the log as warnings.
class SettingsIssueLog {
public:
    SettingsIssueLog() = delete;
    static void install(defaults::UserDefaults& defaults);
};

}  // namespace tallowmere
