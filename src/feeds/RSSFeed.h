#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "feeds/RSSArticle.h"

namespace tallowmere {

// A feed in the uniform form, whatever the document's format. A plain value.
struct RSSFeed {
    std::string name;
    std::vector<RSSArticle> articles;
    std::optional<std::string> link;
    std::optional<std::set<std::string>> categories;
};

}  // namespace tallowmere
