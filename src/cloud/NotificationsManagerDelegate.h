#pragma once

namespace tallowmere {

class Article;

// Whoever shows the article of a notification the user clicked.
class NotificationsManagerDelegate {
public:
    virtual ~NotificationsManagerDelegate() = default;
    virtual void showArticle(const Article& article) = 0;
};

}  // namespace tallowmere
