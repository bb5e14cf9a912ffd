#include "platform/feedkit/DocumentCharset.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

namespace tallowmere::feedkit {
namespace {

std::string lowerCased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// The web's reading of labels: Latin-1 and ASCII are Windows-1252, whose
// bytes 0x80-0x9F are quotes and dashes rather than control characters.
std::string webEncoding(const std::string& label) {
    static constexpr std::array<std::string_view, 12> windows1252 = {
        "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1",  "l1",    "cp819",
        "ibm819",     "us-ascii",  "ascii",      "iso-ir-100", "iso_8859-1:1987", "x-cp1252"};
    for (auto name : windows1252)
        if (label == name) return "windows-1252";
    if (label == "utf8" || label == "unicode-1-1-utf-8") return "utf-8";
    return label;
}

bool isUTF8(const std::string& label) { return label == "utf-8"; }

enum class Mark { none, utf8, utf16le, utf16be };

Mark byteOrderMark(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Mark::utf8;
    if (bytes.substr(0, 2) == "\xFF\xFE") return Mark::utf16le;
    if (bytes.substr(0, 2) == "\xFE\xFF") return Mark::utf16be;
    // Without a mark, "<?" in UTF-16 still shows by its zero bytes.
    if (bytes.substr(0, 4) == std::string_view("<\0?\0", 4)) return Mark::utf16le;
    if (bytes.substr(0, 4) == std::string_view("\0<\0?", 4)) return Mark::utf16be;
    return Mark::none;
}

void substituteReplacementCharacter(const void*, UConverterToUnicodeArgs* arguments, const char*, int32_t,
                                    UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
    static const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(arguments, &replacement, 1, 0, error);
}

std::optional<std::string> decoded(std::string_view bytes, const char* charset) {
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> converter(ucnv_open(charset, &error), ucnv_close);
    if (U_FAILURE(error) || !converter) return std::nullopt;
    ucnv_setToUCallBack(converter.get(), substituteReplacementCharacter, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) return std::nullopt;
    icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter.get(), error);
    if (U_FAILURE(error)) return std::nullopt;
    if (!text.isEmpty() && text.charAt(0) == 0xFEFF) text.remove(0, 1);
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

std::optional<std::string> DocumentCharset::fromContentType(std::string_view contentType) {
    std::string type = lowerCased(contentType);
    std::string_view media = trimmed(std::string_view(type).substr(0, type.find(';')));
    bool mayOverride = media.rfind("text/", 0) == 0 ||
                       (media.rfind("application/", 0) == 0 && media.size() > 4 &&
                        media.substr(media.size() - 4) == "+xml");
    if (!mayOverride) return std::nullopt;
    size_t at = type.find("charset=");
    if (at == std::string::npos) return std::nullopt;
    std::string_view value = std::string_view(type).substr(at + 8);
    value = value.substr(0, value.find(';'));
    value = trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) value = value.substr(1, value.size() - 2);
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> DocumentCharset::declaredInXml(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (bytes.substr(0, 5) != "<?xml") return std::nullopt;
    std::string_view declaration = bytes.substr(0, std::min(bytes.find("?>"), size_t{200}));
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return std::nullopt;
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) return std::nullopt;
    size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return lowerCased(trimmed(declaration.substr(at + 1, end - at - 1)));
}

std::optional<std::string> DocumentCharset::repairedUTF8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t at = 0;
    // Most documents are valid: find the first fault before copying anything.
    while (at < length) {
        if (data[at] < 0x80) {
            ++at;
            continue;
        }
        int32_t start = at;
        UChar32 c;
        U8_NEXT(data, at, length, c);
        if (c < 0) {
            at = start;
            break;
        }
    }
    if (at >= length) return std::nullopt;
    std::string out(bytes.substr(0, static_cast<size_t>(at)));
    out.reserve(bytes.size() + 16);
    while (at < length) {
        int32_t start = at;
        UChar32 c;
        U8_NEXT(data, at, length, c);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(bytes.substr(static_cast<size_t>(start), static_cast<size_t>(at - start)));
        }
    }
    return out;
}

std::optional<std::string> DocumentCharset::toUTF8(std::string_view bytes,
                                                   const std::optional<std::string>& httpCharset) {
    Mark mark = byteOrderMark(bytes);
    std::string charset;
    switch (mark) {
        case Mark::utf8: charset = "utf-8"; break;
        case Mark::utf16le: charset = "utf-16le"; break;
        case Mark::utf16be: charset = "utf-16be"; break;
        case Mark::none:
            if (httpCharset) {
                charset = webEncoding(lowerCased(*httpCharset));
            } else if (auto declared = declaredInXml(bytes)) {
                charset = webEncoding(*declared);
            } else {
                charset = "utf-8";
            }
    }
    // A UTF-16 declaration on bytes without zero bytes up front is a lie.
    if (mark == Mark::none && charset.rfind("utf-16", 0) == 0) charset = "utf-8";
    if (isUTF8(charset)) {
        if (mark == Mark::utf8) bytes.remove_prefix(3);
        auto repaired = repairedUTF8(bytes);
        if (repaired) return repaired;
        if (mark == Mark::utf8) return std::string(bytes);
        return std::nullopt;
    }
    if (auto text = decoded(bytes, charset.c_str())) return text;
    // A charset nobody knows: read the bytes as UTF-8, as well as they go.
    auto repaired = repairedUTF8(bytes);
    return repaired;
}

}  // namespace tallowmere::feedkit
