#pragma once

#include <memory>
#include <string>

namespace tallowmere {

// What the node source and the feeds manager need of the full-text search
// index when they delete articles: drop an article's document (keyed by the
// URI of its object ID) and compact the index once after a batch of removals.
// Both are queued on the index's own serial queue and run there in call order.
class SearchIndexing {
public:
    virtual ~SearchIndexing() = default;

    virtual void removeDocument(const std::string& objectIDURI) = 0;
    virtual void compactIndex() = 0;
};

}  // namespace tallowmere
