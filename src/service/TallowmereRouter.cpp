#include "service/TallowmereRouter.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "foundation/URL.h"
#include "service/JSONCoding.h"
#include "service/TallowmereAddFeedsRequest.h"
#include "service/TallowmereDiscoveryRequest.h"
#include "service/TallowmereUserGUIDRequest.h"

namespace tallowmere {

namespace {

template <typename... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <typename... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

JSONCodingResult<std::string> written(JSONCodingResult<nlohmann::json> document) {
    if (!document.ok()) return document.error();
    return JSONCoding::write(document.value());
}

bool allLetters(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalpha(c); });
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::toupper(c); });
    return result;
}

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
    return result;
}

}  // namespace

TallowmereRouter::RequestParts TallowmereRouter::requestParts(const LocaleCodes& locale) const {
    return std::visit(
        Overloaded{
            [](const AddFeeds& value) {
                return RequestParts{"POST", "/add", written(TallowmereAddFeedsRequest{value.feeds}.encode())};
            },
            [](const GetUserEmail& value) {
                return RequestParts{"POST", "/user_guid_mail",
                                    written(TallowmereUserGUIDRequest{value.guid, {}, {}, {}}.encode())};
            },
            [](const AddUser& value) {
                return RequestParts{"POST", "/user_guid_mail",
                                    written(TallowmereUserGUIDRequest{value.guid, value.email, true, {}}.encode())};
            },
            [](const RemoveUser& value) {
                return RequestParts{"POST", "/user_guid_mail",
                                    written(TallowmereUserGUIDRequest{value.guid, value.email, {}, true}.encode())};
            },
            [&locale](const GetDiscovery& value) {
                TallowmereDiscoveryRequest body{value.discoveryNode, locale.regionCode, locale.languageCode};
                return RequestParts{"POST", "/discovery", written(body.encode())};
            },
        },
        case_);
}

std::optional<http::HTTPRequest> TallowmereRouter::asURLRequest(std::string_view baseURL,
                                                                const Environment& environment) const {
    if (!URL::parse(baseURL)) return std::nullopt;
    RequestParts parts = requestParts(localeCodes(environment));
    if (!parts.body.ok()) return std::nullopt;

    http::HTTPRequest request;
    request.url = std::string(baseURL) + parts.path;
    request.timeoutInterval = timeoutInterval;
    request.method = parts.method;
    request.body = std::move(parts.body).value();
    static const std::string encodedCredential = base64(credential);
    request.headers = {
        {credentialHeader, encodedCredential},
        {"Content-Type", "application/json; charset=utf-8"},
        {"Content-Length", std::to_string(request.body->size())},
    };
    return request;
}

TallowmereRouter::LocaleCodes TallowmereRouter::localeCodes(const Environment& environment) {
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = environment(name);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    // language[_REGION][.charset][@modifier]
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return {};
    const auto underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view region = underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);

    LocaleCodes codes;
    if ((language.size() == 2 || language.size() == 3) && allLetters(language)) codes.languageCode = lower(language);
    if ((region.size() == 2 && allLetters(region)) || (region.size() == 3 && allDigits(region)))
        codes.regionCode = upper(region);
    return codes;
}

std::string TallowmereRouter::base64(std::string_view bytes) {
    static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t index = 0; index < bytes.size(); index += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - index);
        std::uint32_t group = 0;
        for (std::size_t offset = 0; offset < 3; ++offset) {
            group <<= 8;
            if (offset < count) group |= static_cast<unsigned char>(bytes[index + offset]);
        }
        for (std::size_t digit = 0; digit < 4; ++digit) {
            encoded += digit <= count ? alphabet[(group >> (18 - 6 * digit)) & 0x3f] : '=';
        }
    }
    return encoded;
}

TallowmereRouter::BaseURLCheck TallowmereRouter::checkBaseURL(std::string_view text) {
    std::string candidate(text);
    while (!candidate.empty() && candidate.back() == '/') candidate.pop_back();
    const std::optional<URL> url = URL::parse(candidate);
    if (!url || !url->isAbsolute()) return {std::nullopt, "not a URL"};
    if (lower(url->scheme()) != "https") return {std::nullopt, "not an https URL"};
    if (!url->host() || url->host()->empty()) return {std::nullopt, "no host"};
    if (url->query() || url->fragment() || url->userInfo()) return {std::nullopt, "more than a host and a path"};
    if (url->encodedPath().empty()) candidate += "/api";
    else if (url->encodedPath() != "/api") return {std::nullopt, "a path other than /api"};
    return {candidate, {}};
}

}  // namespace tallowmere
