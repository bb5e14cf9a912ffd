#include "feeds/SearchManagerFeedsIndex.h"

namespace tallowmere {

void SearchManagerFeedsIndex::indexArticle(const Article& article) { searchManager_.indexArticle(article); }

std::optional<std::string> SearchManagerFeedsIndex::documentURI(const Article& article) {
    return SearchManager::documentURI(article);
}

}  // namespace tallowmere
