#pragma once

#include <memory>
#include <string>

namespace tallowmere {

// What the data sources need of the full-text search index when they delete
// articles: drop an article's document (keyed by the URI of its object ID)
// and compact the index once after a batch of removals.
class SearchIndexing {
public:
    virtual ~SearchIndexing() = default;

    virtual void removeDocument(const std::string& objectIDURI) = 0;
    virtual void compactIndex() = 0;

    // The program's search index (SearchManager::shared()); tests may put another in its place.
    static std::shared_ptr<SearchIndexing> shared();
    static void setShared(std::shared_ptr<SearchIndexing> index);
};

}  // namespace tallowmere
