#include "platform/http/HTTPError.h"

namespace tallowmere::http {

namespace {
const char* summary(HTTPError::Code code) {
    switch (code) {
        case HTTPError::Code::cancelled: return "cancelled";
        case HTTPError::Code::timedOut: return "The request timed out.";
        case HTTPError::Code::badURL: return "bad URL";
        case HTTPError::Code::unsupportedURL: return "unsupported URL";
        case HTTPError::Code::tooManyRedirects: return "too many HTTP redirects";
        case HTTPError::Code::responseTooLarge: return "The response is too large.";
        case HTTPError::Code::cannotFindHost: return "A server with the specified hostname could not be found.";
        case HTTPError::Code::cannotConnectToHost: return "Could not connect to the server.";
        case HTTPError::Code::secureConnectionFailed: return "A secure connection to the server could not be made.";
        case HTTPError::Code::networkConnectionLost: return "The network connection was lost.";
        case HTTPError::Code::other: break;
    }
    return "The request failed.";
}
}  // namespace

std::string HTTPError::description() const {
    std::string text = summary(code_);
    if (!detail_.empty()) text += " (" + detail_ + ")";
    return text;
}

}  // namespace tallowmere::http
