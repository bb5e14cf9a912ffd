#include "sources/NullSearchIndexing.h"

namespace tallowmere {

void NullSearchIndexing::removeDocument(const std::string&) {}

void NullSearchIndexing::compactIndex() {}

}  // namespace tallowmere
