#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallowmere {

// One node of the tree an export writes: a folder with its feeds, a feed, or
// another kind of node that is written by its name alone.
struct OPMLOutline {
    enum class Kind { folder, feed, other };

    Kind kind = Kind::other;
    std::string text;
    std::optional<std::string> xmlUrl;   // feeds only
    std::vector<OPMLOutline> children;  // folders only

    static OPMLOutline folder(std::string name, std::vector<OPMLOutline> feeds) {
        return {Kind::folder, std::move(name), std::nullopt, std::move(feeds)};
    }
    static OPMLOutline feed(std::string name, std::optional<std::string> url) {
        return {Kind::feed, std::move(name), std::move(url), {}};
    }
    static OPMLOutline other(std::string name) { return {Kind::other, std::move(name), std::nullopt, {}}; }

    bool operator==(const OPMLOutline&) const = default;
};

}  // namespace tallowmere
