#pragma once

#include "feeds/FeedsSearchIndex.h"
#include "sources/SearchManager.h"

namespace tallowmere {

// The feeds manager's index operations on the search manager.
class SearchManagerFeedsIndex final : public FeedsSearchIndex {
public:
    explicit SearchManagerFeedsIndex(SearchManager& searchManager) : searchManager_(searchManager) {}

    void indexArticle(const Article& article) override;
    std::optional<std::string> documentURI(const Article& article) override;
    void queueRemoveDocument(std::string uri) override;
    void queueCompactIndex() override;

private:
    SearchManager& searchManager_;
};

}  // namespace tallowmere
