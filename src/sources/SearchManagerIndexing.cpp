#include "sources/SearchManagerIndexing.h"

#include "sources/SearchManager.h"

namespace tallowmere {

void SearchManagerIndexing::removeDocument(const std::string& objectIDURI) {
    SearchManager& manager = manager_;
    manager.searchQueue().async([&manager, objectIDURI] { (void)manager.removeDocument(objectIDURI); });
}

void SearchManagerIndexing::compactIndex() {
    SearchManager& manager = manager_;
    manager.searchQueue().async([&manager] { (void)manager.compactIndex(); });
}

}  // namespace tallowmere
