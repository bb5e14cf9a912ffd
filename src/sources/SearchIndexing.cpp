#include "sources/SearchIndexing.h"

#include "cloud/ServiceSlot.h"
#include "sources/NullSearchIndexing.h"

namespace tallowmere {

namespace {
ServiceSlot<SearchIndexing>& slot() {
    static ServiceSlot<SearchIndexing> instance([] { return std::make_shared<NullSearchIndexing>(); });
    return instance;
}
}  // namespace

std::shared_ptr<SearchIndexing> SearchIndexing::shared() { return slot().get(); }

void SearchIndexing::setShared(std::shared_ptr<SearchIndexing> index) { slot().set(std::move(index)); }

}  // namespace tallowmere
