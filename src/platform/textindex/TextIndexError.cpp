#include "platform/textindex/TextIndexError.h"

namespace tallowmere::textindex {

namespace {
const char* codeName(TextIndexErrorCode code) {
    switch (code) {
        case TextIndexErrorCode::cannotOpen:
            return "cannot open";
        case TextIndexErrorCode::corrupt:
            return "corrupt";
        case TextIndexErrorCode::storage:
            return "storage";
    }
    return "unknown";
}
}  // namespace

std::string TextIndexError::description() const { return std::string(codeName(code)) + ": " + message; }

}  // namespace tallowmere::textindex
