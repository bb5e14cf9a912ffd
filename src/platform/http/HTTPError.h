#pragma once

#include <string>

namespace tallowmere::http {

// A transport failure: the request got no usable answer.
class HTTPError {
public:
    enum class Code {
        cancelled,
        timedOut,
        badURL,
        unsupportedURL,  // a scheme other than http or https, also as a redirect target
        tooManyRedirects,
        responseTooLarge,
        cannotFindHost,
        cannotConnectToHost,
        secureConnectionFailed,
        networkConnectionLost,
        other,
    };

    HTTPError(Code code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}

    Code code() const { return code_; }
    bool isCancelled() const { return code_ == Code::cancelled; }
    // A readable sentence for logs and alerts.
    std::string description() const;

private:
    Code code_;
    std::string detail_;
};

}  // namespace tallowmere::http
