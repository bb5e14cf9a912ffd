#pragma once

#include "feeds/ArticlePrefetching.h"

namespace tallowmere {

// Prefetches nothing: the completion with false, at once, on a background queue.
class NullArticlePrefetching final : public ArticlePrefetching {
public:
    void prefetch(const Article& article, WebServicePriority priority, Completion completion) override;
};

}  // namespace tallowmere
