#pragma once

#include <optional>
#include <string>

namespace tallowmere::feedkit {

// An <author> of a feed or an entry.
struct AtomFeedEntryAuthor {
    std::optional<std::string> name;
    std::optional<std::string> email;
    std::optional<std::string> uri;
};

}  // namespace tallowmere::feedkit
