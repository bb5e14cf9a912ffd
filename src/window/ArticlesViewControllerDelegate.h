#pragma once

#include "store/Article.h"

#include <optional>

namespace tallowmere {

// Told of every selection result of the article list: the article now shown,
// or none when the selection was cleared or the list is empty.
class ArticlesViewControllerDelegate {
public:
    virtual ~ArticlesViewControllerDelegate() = default;
    virtual void didSelectArticle(const std::optional<Article>& article) = 0;
};

}  // namespace tallowmere
