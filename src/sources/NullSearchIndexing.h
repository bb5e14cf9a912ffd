#pragma once

#include "sources/SearchIndexing.h"

namespace tallowmere {

// No index: nothing to remove or compact.
class NullSearchIndexing final : public SearchIndexing {
public:
    void removeDocument(const std::string& objectIDURI) override;
    void compactIndex() override;
};

}  // namespace tallowmere
