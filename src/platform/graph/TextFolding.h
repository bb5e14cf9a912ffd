#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace tallowmere::graph {

// The text comparisons of predicates and sorts, shared by SQL and memory so
// that both give the same answer.
class TextFolding {
public:
    // Case- and diacritic-insensitive form: decomposed, marks stripped,
    // case-folded, recomposed.
    static std::string fold(std::string_view text);
    static bool beginsWith(std::string_view text, std::string_view foldedPrefix);
    // Localized standard order: ICU collator of the current locale, numeric
    // ordering on, secondary strength (so "Feed 2" < "Feed 10", "a" == "A").
    static int localizedCompare(std::string_view a, std::string_view b);
    // Registers cd_fold(x), cd_begins(x, foldedPrefix), begins(x, prefix) and the
    // collation LOCALIZED_STANDARD on a connection.
    static bool registerWith(sqlite3* db);
};

}  // namespace tallowmere::graph
