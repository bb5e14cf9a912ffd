#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/http/HTTPRequest.h"
#include "service/JSONCodingResult.h"
#include "service/TallowmereDiscoveryNode.h"

namespace tallowmere {

// Every request the backend client sends, turned into a complete HTTP request
// (URL, method, JSON body, headers). It sends nothing itself.
class TallowmereRouter {
public:
    struct AddFeeds {
        std::vector<std::string> feeds;
    };
    struct GetUserEmail {
        std::string guid;
    };
    struct AddUser {
        std::string guid;
        std::string email;
    };
    struct RemoveUser {
        std::string guid;
        std::string email;
    };
    struct GetDiscovery {
        std::optional<TallowmereDiscoveryNode> discoveryNode;
    };
    using Case = std::variant<AddFeeds, GetUserEmail, AddUser, RemoveUser, GetDiscovery>;

    // The region and language of the system's locale, each when it has one.
    struct LocaleCodes {
        std::optional<std::string> regionCode;
        std::optional<std::string> languageCode;
    };
    using Environment = std::function<const char*(const char*)>;

    struct RequestParts {
        std::string method;
        std::string path;
        // The JSON text of the body, or why it could not be written.
        JSONCodingResult<std::string> body;
    };

    // A usable base URL from the setting's text, or why there is none.
    struct BaseURLCheck {
        std::optional<std::string> baseURL;
        std::string problem;
    };

    // "user:password" of the backend, sent Base64-encoded in credentialHeader.
    static constexpr std::string_view credential = "brisk-node:qvmtrelapwozkyd";
    static constexpr const char* credentialHeader = "tallowmere-api";
    static constexpr std::chrono::milliseconds timeoutInterval{10'000};

    explicit TallowmereRouter(Case value) : case_(std::move(value)) {}
    static TallowmereRouter addFeeds(std::vector<std::string> feeds) { return TallowmereRouter(AddFeeds{std::move(feeds)}); }
    static TallowmereRouter getUserEmail(std::string guid) { return TallowmereRouter(GetUserEmail{std::move(guid)}); }
    static TallowmereRouter addUser(std::string guid, std::string email) {
        return TallowmereRouter(AddUser{std::move(guid), std::move(email)});
    }
    static TallowmereRouter removeUser(std::string guid, std::string email) {
        return TallowmereRouter(RemoveUser{std::move(guid), std::move(email)});
    }
    static TallowmereRouter getDiscovery(std::optional<TallowmereDiscoveryNode> node) {
        return TallowmereRouter(GetDiscovery{std::move(node)});
    }

    const Case& value() const { return case_; }

    // The POST of this request to the base URL followed by its path, with a
    // time-out of 10 seconds and the headers credentialHeader, Content-Type
    // and Content-Length in that order. Nothing when the base URL is no
    // URL, or when the body cannot be written: a request without its body
    // would be taken for a different one.
    std::optional<http::HTTPRequest> asURLRequest(std::string_view baseURL,
                                                  const Environment& environment = std::getenv) const;
    // Method, path and body; the discovery body takes the locale codes.
    RequestParts requestParts(const LocaleCodes& locale) const;

    // From the first of LC_ALL, LC_MESSAGES and LANG that is set: "de_AT.UTF-8"
    // gives region "AT" and language "de"; "C" and "POSIX" give neither.
    static LocaleCodes localeCodes(const Environment& environment = std::getenv);
    // The text Base64-encoded, standard alphabet with padding, no line breaks.
    static std::string base64(std::string_view bytes);
    // An https URL with a host and the path "/api": a trailing slash is
    // dropped and a missing path becomes "/api"; anything else is refused,
    // http first of all, which would send the credential in clear.
    static BaseURLCheck checkBaseURL(std::string_view text);

private:
    Case case_;
};

}  // namespace tallowmere
