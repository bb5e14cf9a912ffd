#include "feeds/SearchManagerFeedsIndex.h"

#include <utility>

namespace tallowmere {

void SearchManagerFeedsIndex::indexArticle(const Article& article) { searchManager_.indexArticle(article); }

std::optional<std::string> SearchManagerFeedsIndex::documentURI(const Article& article) {
    return SearchManager::documentURI(article);
}

void SearchManagerFeedsIndex::queueRemoveDocument(std::string uri) {
    searchManager_.searchQueue().async([this, uri = std::move(uri)] { searchManager_.removeDocument(uri); });
}

void SearchManagerFeedsIndex::queueCompactIndex() {
    searchManager_.searchQueue().async([this] { searchManager_.compactIndex(); });
}

}  // namespace tallowmere
