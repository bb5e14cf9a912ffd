#pragma once

#include "feeds/FeedsSearchIndex.h"
#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"

namespace tallowmere {

// The feeds manager's index operations on the search manager.
class SearchManagerFeedsIndex final : public FeedsSearchIndex {
public:
    explicit SearchManagerFeedsIndex(SearchManager& searchManager)
        : searchManager_(searchManager), removals_(searchManager) {}

    void indexArticle(const Article& article) override;
    std::optional<std::string> documentURI(const Article& article) override;
    void removeDocument(const std::string& objectIDURI) override { removals_.removeDocument(objectIDURI); }
    void compactIndex() override { removals_.compactIndex(); }

private:
    SearchManager& searchManager_;
    SearchManagerIndexing removals_;
};

}  // namespace tallowmere
