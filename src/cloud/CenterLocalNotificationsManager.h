#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "cloud/LocalNotificationsManager.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "store/DataController.h"
#include "store/Feed.h"

namespace tallowmere {

// Tells the user of new articles through the desktop's notification centre
// when the cloud does not: one notification per article of a feed marked
// for notification, with the feed's icon; its click shows the article.
class CenterLocalNotificationsManager final : public LocalNotificationsManager,
                                              public std::enable_shared_from_this<CenterLocalNotificationsManager> {
public:
    static constexpr const char* uriKey = "URIRepresentationString";
    static constexpr int iconSize = 44;

    // The feed's icon at the size, read inside the feed's context.
    using IconSource = std::function<std::optional<notifications::NotificationImage>(const Feed& feed, int size)>;

    // What the manager works with; each one left empty is the process's own
    // (no icon without an icon source).
    struct Collaborators {
        std::function<std::shared_ptr<notifications::UserNotificationCenter>()> center;
        std::function<std::shared_ptr<DataController>()> dataController;
        std::function<bool()> showNewArticleNotification;
        IconSource icon;
    };

    explicit CenterLocalNotificationsManager(Collaborators collaborators = {});

    void notifyNewArticle(const Article& article) override;
    // The user clicked a notification of this manager (main thread).
    void didActivate(notifications::NotificationID id, const nlohmann::json& userInfo);

private:
    void deliver(const Article& article);
    // The stored article the URI names; nothing once it is deleted.
    std::optional<Article> storedArticle(const std::string& uri);

    Collaborators c_;
};

}  // namespace tallowmere
