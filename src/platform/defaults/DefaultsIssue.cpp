#include "platform/defaults/DefaultsIssue.h"

namespace tallowmere::defaults {

std::string DefaultsIssue::description() const {
    switch (kind) {
        case Kind::unreadableFile:
            if (setAside.empty()) {
                return "settings file " + file.string() + " could not be read (" + detail +
                       "); starting with the default settings";
            }
            return "settings file " + file.string() + " could not be read (" + detail + "); kept it as " +
                   setAside.string() + " and starting with the default settings";
        case Kind::writeFailed:
            return "settings file " + file.string() + " could not be written (" + detail + ")";
    }
    return detail;
}

}  // namespace tallowmere::defaults
