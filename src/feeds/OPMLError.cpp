#include "feeds/OPMLError.h"

namespace tallowmere {
namespace {

std::string lead(OPMLError::Code code, const std::string& name) {
    switch (code) {
        case OPMLError::Code::unreadableFile:
            return "The file \"" + name + "\" could not be read";
        case OPMLError::Code::notXML:
        case OPMLError::Code::notOPML:
        case OPMLError::Code::unsafeContent:
            return "The file \"" + name + "\" is not a subscription list (OPML)";
        case OPMLError::Code::writeFailed:
            return "The subscriptions could not be saved to \"" + name + "\"";
    }
    return name;
}

}  // namespace

OPMLError OPMLError::make(Code code, const std::filesystem::path& file, const std::string& reason) {
    std::string message = lead(code, file.filename().string());
    if (!reason.empty()) message += ": " + reason;
    return OPMLError{code, message + "."};
}

}  // namespace tallowmere
