#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tallowmere {

// Fills a page template's placeholders. One pass over the template: at each
// place the longest key that starts there is replaced, and the inserted
// values are never scanned again, so a value holding a key stays as it is and
// no order of the map changes the result.
class PageTemplate {
public:
    PageTemplate() = delete;
    static std::string fill(std::string_view text, const std::map<std::string, std::string>& values);
};

}  // namespace tallowmere
