#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/graph/Context.h"
#include "store/Article.h"
#include "store/Tag.h"

namespace tallowmere {

// Turns the category names a feed gives an article into stored tags. One tag
// exists per name, matched without regard to case or diacritics and stored in
// lower case. Holds no state, so the shared instance may be used from any queue.
class TagsSource {
public:
    // A set of tags: each tag appears once.
    using TagSet = std::vector<Tag>;
    // The tags already found or made in a context, by stored name: the
    // articles of one feed, and of one refresh, mostly share their names.
    using KnownTags = std::map<std::string, Tag>;

    static TagsSource& shared();

    // Adds to `tags` the stored tag for the name, made in `context` when
    // there is none (unsaved: the caller's save stores it with its articles).
    // With `known` (kept for one context), a name found or made before is
    // not looked up again, unless its tag has been deleted since.
    void addTag(const std::string& name, graph::Context& context, TagSet& tags, KnownTags* known = nullptr) const;
    // Replaces the article's tags by exactly `tags`; run inside the
    // article's context.
    void setTags(const TagSet& tags, const Article& article) const;

private:
    // The context's tag whose name matches (pending insertions included).
    std::optional<Tag> tag(const std::string& name, graph::Context& context) const;
    Tag makeTag(const std::string& name, graph::Context& context) const;
};

}  // namespace tallowmere
