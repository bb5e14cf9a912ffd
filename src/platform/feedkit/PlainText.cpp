#include "platform/feedkit/PlainText.h"

#include <cctype>

namespace tallowmere::feedkit {
namespace {

bool startsWithIgnoringCase(std::string_view text, size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != prefix[i]) return false;
    return true;
}

size_t findIgnoringCase(std::string_view text, size_t from, std::string_view needle) {
    for (size_t at = from; at < text.size(); ++at)
        if (startsWithIgnoringCase(text, at, needle)) return at;
    return std::string_view::npos;
}

bool opensTag(std::string_view text, size_t at) {
    if (at + 1 >= text.size()) return false;
    char next = text[at + 1];
    return std::isalpha(static_cast<unsigned char>(next)) || next == '/' || next == '!' || next == '?';
}

// Where the element that opens at `at` with this name ends, contents included.
size_t endOfElement(std::string_view text, size_t at, std::string_view name) {
    std::string close = "</" + std::string(name);
    size_t end = findIgnoringCase(text, at, close);
    if (end == std::string_view::npos) return text.size();
    size_t gt = text.find('>', end);
    return gt == std::string_view::npos ? text.size() : gt + 1;
}

bool breaksLine(std::string_view tag) {
    return startsWithIgnoringCase(tag, 0, "<br") || startsWithIgnoringCase(tag, 0, "<p") ||
           startsWithIgnoringCase(tag, 0, "</p") || startsWithIgnoringCase(tag, 0, "<div") ||
           startsWithIgnoringCase(tag, 0, "</div");
}

}  // namespace

std::string PlainText::withoutMarkup(std::string_view text) {
    if (text.find('<') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t lt = text.find('<', at);
        if (lt == std::string_view::npos) lt = text.size();
        out.append(text.substr(at, lt - at));
        if (lt == text.size()) break;
        if (!opensTag(text, lt)) {
            out += '<';
            at = lt + 1;
            continue;
        }
        if (text.compare(lt, 4, "<!--") == 0) {
            size_t end = text.find("-->", lt + 4);
            at = end == std::string_view::npos ? text.size() : end + 3;
            continue;
        }
        if (startsWithIgnoringCase(text, lt, "<script")) {
            at = endOfElement(text, lt, "script");
            continue;
        }
        if (startsWithIgnoringCase(text, lt, "<style")) {
            at = endOfElement(text, lt, "style");
            continue;
        }
        size_t gt = text.find_first_of("<>", lt + 1);
        if (gt == std::string_view::npos || text[gt] == '<') {  // "<" that closes nothing: text
            out += '<';
            at = lt + 1;
            continue;
        }
        if (breaksLine(text.substr(lt, gt + 1 - lt)) && !out.empty() && out.back() != ' ') out += ' ';
        at = gt + 1;
    }
    return out;
}

}  // namespace tallowmere::feedkit
