#pragma once

#include <optional>
#include <string>

#include "sources/SearchIndexing.h"
#include "store/Article.h"

namespace tallowmere {

// What the feeds manager does to the full-text index: the removals of every
// deleter, and the indexing of new articles.
class FeedsSearchIndex : public SearchIndexing {
public:
    virtual void indexArticle(const Article& article) = 0;
    // The article's document key, its object ID made permanent first;
    // nothing without a context.
    virtual std::optional<std::string> documentURI(const Article& article) = 0;
};

}  // namespace tallowmere
