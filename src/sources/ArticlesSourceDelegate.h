#pragma once

#include <optional>
#include <vector>

#include "platform/graph/FetchedResultsController.h"
#include "store/Article.h"

namespace tallowmere {

// The article list's side of the article source. The source holds it weakly
// (std::weak_ptr) and may call it from any thread: an adopter moves its work
// to the main queue itself, and the source relies on no result nor on any
// effect having happened when a call returns.
class ArticlesSourceDelegate {
public:
    virtual ~ArticlesSourceDelegate() = default;

    // The selection changed and the list was rebuilt.
    virtual void articlesSourceDidReloadArticles() = 0;
    // A batch of row changes begins.
    virtual void articlesSourceWillChangeArticles() = 0;
    // One row change; a row is absent where the change has none (the old row
    // of an insert, the new row of a delete).
    virtual void articlesSourceDidChangeArticle(std::optional<std::size_t> oldRow, graph::ResultsChange type,
                                                std::optional<std::size_t> newRow) = 0;
    // The batch ends.
    virtual void articlesSourceDidChangeArticles() = 0;
    // The articles changed their starred state in place.
    virtual void articlesSourceDidUpdate(const std::vector<Article>& articles) = 0;
};

}  // namespace tallowmere
