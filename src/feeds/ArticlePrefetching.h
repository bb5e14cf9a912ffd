#pragma once

#include <functional>

#include "feeds/WebServicePriority.h"
#include "store/Article.h"

namespace tallowmere {

// Fills in an article's text, top image and top video from its web page, as
// the prefetch manager does.
class ArticlePrefetching {
public:
    // True when the page was downloaded and read; runs exactly once.
    using Completion = std::function<void(bool changed)>;

    virtual ~ArticlePrefetching() = default;

    virtual void prefetch(const Article& article, WebServicePriority priority, Completion completion) = 0;
};

}  // namespace tallowmere
