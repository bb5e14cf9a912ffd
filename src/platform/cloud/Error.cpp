#include "platform/cloud/Error.h"

namespace tallowmere::cloud {

Error::Error() = default;
Error::Error(const Error&) = default;
Error::Error(Error&&) noexcept = default;
Error& Error::operator=(const Error&) = default;
Error& Error::operator=(Error&&) noexcept = default;
Error::~Error() = default;

namespace {

const char* codeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::partialFailure: return "partial failure";
        case ErrorCode::networkFailure: return "network failure";
        case ErrorCode::serviceUnavailable: return "service unavailable";
        case ErrorCode::requestRateLimited: return "request rate limited";
        case ErrorCode::notAuthenticated: return "not authenticated";
        case ErrorCode::permissionFailure: return "permission failure";
        case ErrorCode::unknownItem: return "unknown item";
        case ErrorCode::invalidArguments: return "invalid arguments";
        case ErrorCode::serverRecordChanged: return "server record changed";
        case ErrorCode::operationCancelled: return "operation cancelled";
        case ErrorCode::zoneBusy: return "zone busy";
        case ErrorCode::limitExceeded: return "limit exceeded";
    }
    return "error";
}

}  // namespace

Error Error::make(ErrorCode code, std::string description) {
    Error error;
    error.code = code;
    error.description = std::move(description);
    return error;
}

Error Error::cancelled() { return make(ErrorCode::operationCancelled, "the operation was cancelled"); }

Error Error::notAuthenticated() { return make(ErrorCode::notAuthenticated, "no account is signed in"); }

const Error* Error::partialError(std::string_view itemID) const {
    for (const auto& [id, error] : partialErrorsByItemID) {
        if (id == itemID) return &error;
    }
    return nullptr;
}

std::string Error::textualDescription() const {
    std::string text = "cloud error " + std::to_string(codeValue()) + " (" + codeName(code) + ")";
    if (!description.empty()) text += ": " + description;
    if (retryAfterSeconds) text += " (retry after " + std::to_string(*retryAfterSeconds) + " s)";
    for (const auto& [id, error] : partialErrorsByItemID) {
        text += "; " + id + ": " + error.textualDescription();
    }
    return text;
}

}  // namespace tallowmere::cloud
