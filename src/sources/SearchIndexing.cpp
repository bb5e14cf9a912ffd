#include "sources/SearchIndexing.h"

#include "cloud/ServiceSlot.h"
#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"

namespace tallowmere {

namespace {
ServiceSlot<SearchIndexing>& slot() {
    static ServiceSlot<SearchIndexing> instance(
        [] { return std::make_shared<SearchManagerIndexing>(SearchManager::shared()); });
    return instance;
}
}  // namespace

std::shared_ptr<SearchIndexing> SearchIndexing::shared() { return slot().get(); }

void SearchIndexing::setShared(std::shared_ptr<SearchIndexing> index) { slot().set(std::move(index)); }

}  // namespace tallowmere
