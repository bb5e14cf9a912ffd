#include "prefs/NewsletterEmailPattern.h"

#include <algorithm>

namespace tallowmere {
namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLocalCharacter(char c) { return isLetter(c) || isDigit(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-'; }
bool isDomainCharacter(char c) { return isLetter(c) || isDigit(c) || c == '.' || c == '-'; }

}  // namespace

bool NewsletterEmailPattern::matches(std::string_view text) {
    // The local part cannot hold "@" and neither can the domain, so the
    // first "@" is the only one there may be.
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos || at == 0) return false;
    const std::string_view local = text.substr(0, at);
    const std::string_view domain = text.substr(at + 1);
    if (!std::all_of(local.begin(), local.end(), isLocalCharacter)) return false;
    if (!std::all_of(domain.begin(), domain.end(), isDomainCharacter)) return false;
    // The last part holds letters only, so the dot before it is the last dot.
    const std::size_t dot = domain.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string_view topLevel = domain.substr(dot + 1);
    return topLevel.size() >= minimumTopLevelLength && topLevel.size() <= maximumTopLevelLength &&
           std::all_of(topLevel.begin(), topLevel.end(), isLetter);
}

}  // namespace tallowmere
