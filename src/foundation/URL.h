#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallowmere {

// A URL (or relative reference) parsed strictly after RFC 3986. Identity
// hashes of feeds and articles are taken from its components, so the
// components are reported exactly as written apart from the documented
// decoding; nothing is normalised on parsing.
//
// How edge forms are treated:
// - Only the characters RFC 3986 allows are accepted; a space, a non-ASCII
//   byte, "<", ">", "\"", "{", "}", "|", "\\", "^", "`", a second "#", a "["
//   or "]" outside the host, a malformed percent escape or an empty text
//   makes the text no URL.
// - A text without a scheme is a relative reference ("//host/x", "/x",
//   "x?q"); its scheme is empty. Its first path segment must not hold ":".
// - Bracketed IPv6 (or IPvFuture) hosts are checked and reported without
//   the brackets; zone identifiers are not accepted.
// - Percent escapes in a registered host name are decoded in host(), like
//   those of the path; the host is empty (not absent) for "file:///x".
// - A decoded path or host that is not valid UTF-8 is reported as written.
// - Without an authority ("mailto:a@b", "urn:x:y") host() is absent and
//   path() is everything after the scheme up to the query.
// - A port is reported only when written; an empty port ("host:/") counts
//   as none, a port above 65535 makes the text no URL.
class URL {
public:
    // Nothing when the text is no URL (see above).
    static std::optional<URL> parse(std::string_view text);

    // The reference resolved against this URL (RFC 3986 §5.2, dot segments
    // removed); nothing when the reference is no URL.
    std::optional<URL> resolving(std::string_view reference) const;

    // The path with one more segment: "/" is put in between unless the
    // path already ends with one; query and fragment stay behind it.
    // Characters a path segment cannot hold are percent-encoded.
    URL appendingPathComponent(std::string_view component) const;

    // The text as parsed, or the recomposed text of a resolution result.
    const std::string& absoluteString() const { return text_; }

    // As written; empty for a relative reference.
    std::string scheme() const { return scheme_.value_or(std::string()); }
    // Absent when the URL has no authority.
    std::optional<std::string> host() const;
    // Only an explicitly written port.
    std::optional<int> port() const { return port_; }
    // Percent-decoded, with a trailing "/" removed unless the path is "/".
    std::string path() const;
    // The path as written (still encoded, trailing slash kept).
    const std::string& encodedPath() const { return path_; }
    // Without "?", still percent-encoded.
    std::optional<std::string> query() const { return query_; }
    // Without "#", still percent-encoded.
    std::optional<std::string> fragment() const { return fragment_; }
    // The user information before "@", as written.
    std::optional<std::string> userInfo() const { return userInfo_; }

    bool hasAuthority() const { return host_.has_value(); }
    bool isAbsolute() const { return scheme_.has_value(); }

    bool operator==(const URL& other) const { return text_ == other.text_; }

private:
    URL() = default;

    static std::optional<URL> parseReference(std::string_view text);
    bool parseAuthority(std::string_view authority);
    void recompose();
    std::optional<std::string> authorityText() const;

    std::string text_;
    std::optional<std::string> scheme_;
    std::optional<std::string> userInfo_;
    std::optional<std::string> host_;  // as written, brackets removed
    bool ipLiteral_ = false;
    std::optional<std::string> portText_;  // as written, may be empty
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace tallowmere
