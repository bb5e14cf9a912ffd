#pragma once

#include <memory>

namespace tallowmere {

class Article;

// The desktop notifications of new articles when the cloud does not announce them.
class LocalNotificationsManager {
public:
    virtual ~LocalNotificationsManager() = default;

    // Raises one notification for the new article when the setting
    // "ShowNewArticleNotification" is on and its feed notifies. Reports nothing.
    virtual void notifyNewArticles(const Article& article) = 0;

    static std::shared_ptr<LocalNotificationsManager> shared();
    static void setShared(std::shared_ptr<LocalNotificationsManager> manager);
};

}  // namespace tallowmere
