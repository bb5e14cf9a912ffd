#include "platform/textindex/TermTokenizer.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace tallowmere::textindex {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

struct CodePoint {
    char32_t value;  // kInvalid for a malformed sequence
    std::size_t end;
};

CodePoint next(std::string_view text, std::size_t offset) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    int64_t index = static_cast<int64_t>(offset);
    const int64_t length = static_cast<int64_t>(text.size());
    UChar32 c = 0;
    U8_NEXT(bytes, index, length, c);
    return {c < 0 ? kInvalid : static_cast<char32_t>(c), static_cast<std::size_t>(index)};
}

bool isWordCharacter(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
    if (c == kInvalid) return false;
    const auto uc = static_cast<UChar32>(c);
    return u_hasBinaryProperty(uc, UCHAR_ALPHABETIC) ||
           (U_GET_GC_MASK(uc) & (U_GC_ND_MASK | U_GC_M_MASK)) != 0;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::size_t codePointCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string foldUnicode(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* decompose = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* compose = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return {};
    icu::UnicodeString folded =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    folded.foldCase();
    const icu::UnicodeString decomposed = decompose->normalize(folded, status);
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if ((U_GET_GC_MASK(c) & U_GC_MN_MASK) == 0) bare.append(c);
        i += U16_LENGTH(c);
    }
    const icu::UnicodeString recomposed = compose->normalize(bare, status);
    if (U_FAILURE(status)) return {};
    std::string result;
    recomposed.toUTF8String(result);
    return result;
}

}  // namespace

TermTokenizer::TermTokenizer(const TextIndexProperties& properties)
    : minimumTermLength_(properties.minimumTermLength) {
    for (std::size_t offset = 0; offset < properties.termCharacters.size();) {
        const CodePoint c = next(properties.termCharacters, offset);
        if (c.value != kInvalid) termCharacters_.push_back(c.value);
        offset = c.end;
    }
    for (const std::string& word : properties.stopWords) stopWords_.insert(fold(word));
}

std::string TermTokenizer::fold(std::string_view text) {
    if (!isAscii(text)) return foldUnicode(text);
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool TermTokenizer::isTermCharacter(char32_t c) const {
    return termCharacters_.find(c) != std::u32string::npos;
}

bool TermTokenizer::keeps(std::string_view folded) const {
    if (folded.empty() || codePointCount(folded) < minimumTermLength_) return false;
    return stopWords_.find(folded) == stopWords_.end();
}

void TermTokenizer::scan(std::string_view text, const TermSink& sink) const {
    std::size_t offset = 0;
    while (offset < text.size()) {
        // A run of word and term characters; term characters at its edges are
        // not part of the term.
        std::size_t begin = std::string::npos;
        std::size_t end = offset;
        std::size_t cursor = offset;
        while (cursor < text.size()) {
            const CodePoint c = next(text, cursor);
            if (isWordCharacter(c.value)) {
                if (begin == std::string::npos) begin = cursor;
                end = c.end;
            } else if (!isTermCharacter(c.value)) {
                if (cursor == offset) cursor = c.end;  // a separator: skip it
                break;
            }
            cursor = c.end;
        }
        offset = cursor;
        if (begin == std::string::npos) continue;
        const std::string folded = fold(text.substr(begin, end - begin));
        if (!sink(Term{folded, begin, end, keeps(folded)})) return;
    }
}

void TermTokenizer::tokenize(std::string_view text, const TermSink& sink) const {
    scan(text, [&](const Term& term) { return !term.kept || sink(term); });
}

std::vector<std::string> TermTokenizer::terms(std::string_view text) const {
    std::vector<std::string> result;
    tokenize(text, [&](const Term& term) {
        result.emplace_back(term.folded);
        return true;
    });
    return result;
}

}  // namespace tallowmere::textindex
