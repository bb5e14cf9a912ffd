#pragma once

#include <optional>
#include <string>

#include "store/Article.h"

namespace tallowmere {

// What the feeds manager does to the full-text index. Changes are queued on
// the index's own serial queue and run there in the order queued.
class FeedsSearchIndex {
public:
    virtual ~FeedsSearchIndex() = default;

    virtual void indexArticle(const Article& article) = 0;
    // The article's document key, its object ID made permanent first;
    // nothing without a context.
    virtual std::optional<std::string> documentURI(const Article& article) = 0;
    virtual void queueRemoveDocument(std::string uri) = 0;
    virtual void queueCompactIndex() = 0;
};

}  // namespace tallowmere
