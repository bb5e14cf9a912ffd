#include "store/SettingsIssueLog.h"

#include "foundation/Logger.h"

namespace tallowmere {

void SettingsIssueLog::install(defaults::UserDefaults& defaults) {
    defaults.setIssueHandler(
        [](const defaults::DefaultsIssue& issue) { Logger::warning([&] { return issue.description(); }); });
}

}  // namespace tallowmere
