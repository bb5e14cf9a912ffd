#pragma once

#include <string>

#include "sources/SearchIndexing.h"

namespace tallowmere {

class SearchManager;

// Lets the node source and the feeds manager remove articles from the real
// search index: each call is queued on the manager's search queue and runs
// later, in the order of the calls, after what was queued before it.
// The manager must outlive this object (the shared one lives for the process).
class SearchManagerIndexing final : public SearchIndexing {
public:
    explicit SearchManagerIndexing(SearchManager& manager) : manager_(manager) {}

    void removeDocument(const std::string& objectIDURI) override;
    void compactIndex() override;

private:
    SearchManager& manager_;
};

}  // namespace tallowmere
