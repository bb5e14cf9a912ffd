#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/http/HTTPRequest.h"

namespace tallowmere::http {

struct HTTPSessionConfiguration {
    // Names a session; empty for an ordinary one.
    std::string identifier;
    // Longest wait for the next byte; when absent each request's own interval applies.
    std::optional<std::chrono::milliseconds> timeoutIntervalForRequest;
    // Longest time a request may take in all, however steadily bytes arrive;
    // none when absent.
    std::optional<std::chrono::milliseconds> timeoutIntervalForResource;
    // Sent with every request of the session, unless the request sets the same name.
    HeaderList additionalHeaders;
    // Bodies beyond this size end the request with responseTooLarge rather than fill memory.
    std::size_t maxBodySize = 50u * 1024 * 1024;
    long maxRedirects = 10;
    // Requests beyond this many to one host wait for a free connection and reuse it.
    long maxConnectionsPerHost = 6;
    // Open connections kept for reuse.
    long maxCachedConnections = 32;
    // A PEM file of the certificate authorities trusted in place of the
    // system's (a test's own authority). Certificates are checked either way.
    std::optional<std::string> trustedCertificatesFile;
};

}  // namespace tallowmere::http
