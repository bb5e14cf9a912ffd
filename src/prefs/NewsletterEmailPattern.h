#pragma once

#include <string_view>

namespace tallowmere {

// Whether a whole text is a newsletter address of the form
// "[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64}": a local part, one "@",
// a domain, a final dot and 2 to 64 ASCII letters. Written by hand rather
// than with std::regex, whose matcher recurses once per character and runs
// out of stack on a long pasted text; this one is a single linear pass.
class NewsletterEmailPattern {
public:
    static constexpr std::size_t minimumTopLevelLength = 2;
    static constexpr std::size_t maximumTopLevelLength = 64;

    static bool matches(std::string_view text);
};

}  // namespace tallowmere
