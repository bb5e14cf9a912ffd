#include "foundation/URL.h"

#include <string>

#include "foundation/UTF8.h"

namespace tallowmere {

namespace {

bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
    switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}
bool isPchar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@'; }
bool isSchemeChar(char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Every character is one the allowed set names, or a complete percent escape.
bool allCharsAllowed(std::string_view text, bool (*allowed)(char)) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

bool isPathChar(char c) { return isPchar(c) || c == '/'; }
bool isQueryChar(char c) { return isPchar(c) || c == '/' || c == '?'; }
bool isUserInfoChar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; }
bool isRegNameChar(char c) { return isUnreserved(c) || isSubDelim(c); }

// The decoded text, or the text as written when decoding would not give
// valid UTF-8 (the escapes then stand for bytes, not characters).
std::string percentDecoded(std::string_view text) {
    if (text.find('%') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    if (!utf8::isValid(out)) return std::string(text);
    return out;
}

bool isDecOctet(std::string_view s) {
    if (s.empty() || s.size() > 3) return false;
    for (char c : s)
        if (!isDigit(c)) return false;
    if (s.size() > 1 && s[0] == '0') return false;
    return std::stoi(std::string(s)) <= 255;
}

bool isIPv4(std::string_view s) {
    int parts = 0;
    while (true) {
        const auto dot = s.find('.');
        if (!isDecOctet(s.substr(0, dot))) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        s.remove_prefix(dot + 1);
    }
    return parts == 4;
}

bool isH16(std::string_view s) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (!isHex(c)) return false;
    return true;
}

// Groups of one to four hex digits, the last pair optionally an IPv4 form.
// Returns the number of 16-bit pieces, or -1.
int ipv6Pieces(std::string_view s, bool allowIPv4Tail) {
    if (s.empty()) return 0;
    int pieces = 0;
    while (true) {
        const auto colon = s.find(':');
        const std::string_view group = s.substr(0, colon);
        if (colon == std::string_view::npos && allowIPv4Tail && group.find('.') != std::string_view::npos) {
            return isIPv4(group) ? pieces + 2 : -1;
        }
        if (!isH16(group)) return -1;
        ++pieces;
        if (colon == std::string_view::npos) return pieces;
        s.remove_prefix(colon + 1);
    }
}

bool isIPv6(std::string_view s) {
    const auto gap = s.find("::");
    if (gap == std::string_view::npos) return ipv6Pieces(s, true) == 8;
    if (s.find("::", gap + 1) != std::string_view::npos) return false;
    const int before = ipv6Pieces(s.substr(0, gap), false);
    const int after = ipv6Pieces(s.substr(gap + 2), true);
    return before >= 0 && after >= 0 && before + after <= 7;
}

bool isIPvFuture(std::string_view s) {
    if (s.size() < 4 || (s[0] != 'v' && s[0] != 'V')) return false;
    const auto dot = s.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 >= s.size()) return false;
    for (std::size_t i = 1; i < dot; ++i)
        if (!isHex(s[i])) return false;
    for (std::size_t i = dot + 1; i < s.size(); ++i)
        if (!isUnreserved(s[i]) && !isSubDelim(s[i]) && s[i] != ':') return false;
    return true;
}

// RFC 3986 §5.2.4.
std::string removeDotSegments(std::string_view input) {
    std::string_view in = input;
    std::string out;
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            const auto last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "/..") {
            in = "/";
            const auto last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t start = in.front() == '/' ? 1 : 0;
            const auto next = in.find('/', start);
            const std::size_t length = next == std::string_view::npos ? in.size() : next;
            out.append(in.substr(0, length));
            in.remove_prefix(length);
        }
    }
    return out;
}

std::string encodedPathComponent(std::string_view component) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (char c : component) {
        if (isPathChar(c)) {
            out.push_back(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 0x0F]);
        }
    }
    return out;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
    // An empty reference means "this document" and is only valid for resolving.
    if (text.empty()) return std::nullopt;
    return parseReference(text);
}

std::optional<URL> URL::parseReference(std::string_view text) {
    URL url;
    url.text_ = std::string(text);
    std::string_view rest = text;

    // Scheme: letters first, then scheme characters, up to ":".
    if (!rest.empty() && isAlpha(rest.front())) {
        std::size_t i = 1;
        while (i < rest.size() && isSchemeChar(rest[i])) ++i;
        if (i < rest.size() && rest[i] == ':') {
            url.scheme_ = std::string(rest.substr(0, i));
            rest.remove_prefix(i + 1);
        }
    }

    const auto hash = rest.find('#');
    if (hash != std::string_view::npos) {
        const std::string_view fragment = rest.substr(hash + 1);
        if (!allCharsAllowed(fragment, isQueryChar)) return std::nullopt;
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    const auto question = rest.find('?');
    if (question != std::string_view::npos) {
        const std::string_view query = rest.substr(question + 1);
        if (!allCharsAllowed(query, isQueryChar)) return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, question);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        if (!url.parseAuthority(rest.substr(0, slash))) return std::nullopt;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!allCharsAllowed(rest, isPathChar)) return std::nullopt;
    if (!url.scheme_ && !url.host_) {
        // A colon in the first segment would read as a scheme.
        const std::string_view first = rest.substr(0, rest.find('/'));
        if (first.find(':') != std::string_view::npos) return std::nullopt;
    }
    url.path_ = std::string(rest);
    return url;
}

bool URL::parseAuthority(std::string_view authority) {
    const auto at = authority.find('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (!allCharsAllowed(userInfo, isUserInfoChar)) return false;
        userInfo_ = std::string(userInfo);
        authority.remove_prefix(at + 1);
    }
    std::string_view portPart;
    bool hasPort = false;
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return false;
        const std::string_view literal = authority.substr(1, close - 1);
        if (!isIPv6(literal) && !isIPvFuture(literal)) return false;
        host_ = std::string(literal);
        ipLiteral_ = true;
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return false;
            hasPort = true;
            portPart = after.substr(1);
        }
    } else {
        const auto colon = authority.find(':');
        const std::string_view host = authority.substr(0, colon);
        if (!allCharsAllowed(host, isRegNameChar)) return false;
        host_ = std::string(host);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portPart = authority.substr(colon + 1);
        }
    }
    if (hasPort) {
        if (portPart.size() > 5) {
            // Leading zeros aside, more than five digits cannot be a port.
            const auto firstNonZero = portPart.find_first_not_of('0');
            if (firstNonZero != std::string_view::npos && portPart.size() - firstNonZero > 5) return false;
        }
        long value = 0;
        for (char c : portPart) {
            if (!isDigit(c)) return false;
            value = value * 10 + (c - '0');
            if (value > 65535) return false;
        }
        portText_ = std::string(portPart);
        if (!portPart.empty()) port_ = static_cast<int>(value);
    }
    return true;
}

std::optional<std::string> URL::host() const {
    if (!host_) return std::nullopt;
    if (ipLiteral_) return host_;
    return percentDecoded(*host_);
}

std::string URL::path() const {
    std::string decoded = percentDecoded(path_);
    if (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
    return decoded;
}

std::optional<std::string> URL::authorityText() const {
    if (!host_) return std::nullopt;
    std::string out;
    if (userInfo_) out += *userInfo_ + "@";
    out += ipLiteral_ ? "[" + *host_ + "]" : *host_;
    if (portText_) out += ":" + *portText_;
    return out;
}

// RFC 3986 §5.3.
void URL::recompose() {
    std::string out;
    if (scheme_) out += *scheme_ + ":";
    if (const auto authority = authorityText()) out += "//" + *authority;
    out += path_;
    if (query_) out += "?" + *query_;
    if (fragment_) out += "#" + *fragment_;
    text_ = std::move(out);
}

// RFC 3986 §5.2.2, strict (a reference's scheme is never ignored).
std::optional<URL> URL::resolving(std::string_view reference) const {
    const auto parsed = parseReference(reference);
    if (!parsed) return std::nullopt;
    const URL& r = *parsed;
    URL t;
    if (r.scheme_) {
        t = r;
        t.path_ = removeDotSegments(r.path_);
    } else {
        if (r.host_) {
            t = r;
            t.path_ = removeDotSegments(r.path_);
        } else {
            if (r.path_.empty()) {
                t.path_ = path_;
                t.query_ = r.query_ ? r.query_ : query_;
            } else {
                if (r.path_.front() == '/') {
                    t.path_ = removeDotSegments(r.path_);
                } else {
                    // §5.2.3 merge.
                    std::string merged;
                    if (host_ && path_.empty()) {
                        merged = "/" + r.path_;
                    } else {
                        const auto slash = path_.rfind('/');
                        merged = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + r.path_;
                    }
                    t.path_ = removeDotSegments(merged);
                }
                t.query_ = r.query_;
            }
            t.userInfo_ = userInfo_;
            t.host_ = host_;
            t.ipLiteral_ = ipLiteral_;
            t.portText_ = portText_;
            t.port_ = port_;
        }
        t.scheme_ = scheme_;
    }
    t.fragment_ = r.fragment_;
    t.recompose();
    return t;
}

URL URL::appendingPathComponent(std::string_view component) const {
    URL result = *this;
    if (result.path_.empty() || result.path_.back() != '/') result.path_ += '/';
    result.path_ += encodedPathComponent(component);
    result.recompose();
    return result;
}

}  // namespace tallowmere
