#include "foundation/CharsetConversion.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace tallowmere {

namespace {

constexpr std::size_t kHeadLength = 100;

struct Declaration {
    std::size_t start;
    std::size_t length;
    std::string charset;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "ISO-8859-1" followed by any digits. The digits that run on past the
// head still belong to the name, so that the whole name is rewritten.
std::optional<Declaration> findISO8859(std::string_view head, std::string_view bytes) {
    static constexpr std::string_view prefix = "ISO-8859-1";
    const auto start = head.find(prefix);
    if (start == std::string_view::npos) return std::nullopt;
    std::size_t end = start + prefix.size();
    while (end < bytes.size() && isDigit(bytes[end])) ++end;
    const std::string name(bytes.substr(start, end - start));
    return Declaration{start, end - start, name};
}

std::optional<Declaration> findDeclaration(std::string_view head, std::string_view bytes) {
    // A fixed order: ISO 8859 first, then the Windows code pages.
    if (auto iso = findISO8859(head, bytes)) return iso;
    static constexpr std::array<std::string_view, 5> windows = {
        "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254"};
    for (const auto name : windows) {
        const auto start = head.find(name);
        if (start != std::string_view::npos) return Declaration{start, name.size(), std::string(name)};
    }
    return std::nullopt;
}

bool isASCII(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// The web's reading of Latin-1: bytes 0x80-0x9F are the quotes and dashes
// of Windows-1252, never the control characters nobody writes.
std::string decoderName(const std::string& charset) {
    return charset == "ISO-8859-1" ? std::string("WINDOWS-1252") : charset;
}

// Lenient decoding, as browsers do: a byte the charset does not define
// becomes U+FFFD instead of failing the whole document. A charset name the
// converter does not know still fails.
std::optional<std::string> decodedAsUTF8(std::string_view bytes, const std::string& charset) {
    iconv_t converter = iconv_open("UTF-8", decoderName(charset).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    // Every character of these single-byte sets takes at most three bytes.
    std::string out(bytes.size() * 3 + 4, '\0');
    char* input = const_cast<char*>(bytes.data());
    std::size_t inputLeft = bytes.size();
    char* output = out.data();
    std::size_t outputLeft = out.size();
    while (inputLeft > 0) {
        const std::size_t result = iconv(converter, &input, &inputLeft, &output, &outputLeft);
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) {
            iconv_close(converter);
            return std::nullopt;
        }
        // Three bytes of output per byte of input are reserved, so the
        // replacement character always fits in place of the skipped byte.
        static constexpr char replacement[] = "\xEF\xBF\xBD";
        std::copy(replacement, replacement + 3, output);
        output += 3;
        outputLeft -= 3;
        ++input;
        --inputLeft;
    }
    iconv_close(converter);
    out.resize(out.size() - outputLeft);
    return out;
}

}  // namespace

std::optional<std::string> convertedToUTF8(std::string_view bytes) {
    if (bytes.size() < kHeadLength) return std::nullopt;
    const std::string_view head = bytes.substr(0, kHeadLength);
    if (!isASCII(head)) return std::nullopt;
    const auto declaration = findDeclaration(head, bytes);
    if (!declaration) return std::nullopt;
    auto decoded = decodedAsUTF8(bytes, declaration->charset);
    if (!decoded) return std::nullopt;
    // The declaration lies in ASCII text that every one of these charsets
    // keeps byte for byte, so its offsets hold in the UTF-8 text too.
    decoded->replace(declaration->start, declaration->length, "UTF-8");
    return decoded;
}

}  // namespace tallowmere
