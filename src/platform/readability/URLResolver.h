#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::readability {

// Makes the addresses found in a page absolute (RFC 3986 reference
// resolution, by libxml2) against the page's URL or its <base href>.
class URLResolver {
public:
    URLResolver(std::string_view pageURL, std::string_view baseHref);

    // The absolute http or https URL a reference stands for; nothing for
    // empty references, other schemes (data:, javascript:) and references
    // that cannot be resolved.
    std::optional<std::string> resolve(std::string_view reference) const;

    // The host of an absolute URL, lower-cased, without "www.".
    static std::string host(std::string_view absoluteURL);
    // RFC 3986 section 5.2.4.
    static std::string removingDotSegments(std::string_view path);

private:
    static std::optional<std::string> build(std::string_view reference, std::string_view base);

    std::string base_;
};

}  // namespace tallowmere::readability
