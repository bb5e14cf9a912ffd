#include "cloud/CenterLocalNotificationsManager.h"

#include <utility>

#include "store/Article.h"
#include "store/Preferences.h"

namespace tallowmere {

namespace {

CenterLocalNotificationsManager::Collaborators withDefaults(CenterLocalNotificationsManager::Collaborators c) {
    if (!c.center) c.center = [] { return notifications::UserNotificationCenter::shared(); };
    if (!c.dataController) c.dataController = [] { return DataController::shared(); };
    if (!c.showNewArticleNotification) {
        c.showNewArticleNotification = [] { return Preferences::shared()->showNewArticleNotification(); };
    }
    return c;
}

}  // namespace

CenterLocalNotificationsManager::CenterLocalNotificationsManager(Collaborators collaborators)
    : c_(withDefaults(std::move(collaborators))) {}

void CenterLocalNotificationsManager::notifyNewArticle(const Article& article) {
    if (!c_.showNewArticleNotification()) return;
    graph::Context* context = article.context();
    if (!context) return;
    context->perform([self = shared_from_this(), article] { self->deliver(article); });
}

void CenterLocalNotificationsManager::deliver(const Article& article) {
    if (article.isDeleted()) return;
    const std::optional<Feed> feed = article.feed();
    if (!feed || !feed->notifyUpdates()) return;
    notifications::UserNotification notification;
    notification.title = article.title();
    notification.informativeText = article.textContent();
    notification.userInfo = {{uriKey, article.objectID().uriRepresentation()}};
    if (c_.icon) notification.contentImage = c_.icon(*feed, iconSize);
    std::weak_ptr<CenterLocalNotificationsManager> weak = weak_from_this();
    c_.center()->deliver(std::move(notification), [weak](notifications::NotificationID id, const nlohmann::json& info) {
        if (auto self = weak.lock()) self->didActivate(id, info);
    });
}

void CenterLocalNotificationsManager::didActivate(notifications::NotificationID id, const nlohmann::json& userInfo) {
    if (!userInfo.is_object()) return;
    const auto uri = userInfo.find(uriKey);
    if (uri == userInfo.end() || !uri->is_string()) return;
    const std::optional<Article> article = storedArticle(uri->get<std::string>());
    if (!article) return;
    c_.center()->remove(id);
    if (auto delegate = this->delegate()) delegate->showArticle(*article);
}

std::optional<Article> CenterLocalNotificationsManager::storedArticle(const std::string& uri) {
    std::shared_ptr<DataController> controller = c_.dataController();
    if (!controller) return std::nullopt;
    const std::optional<graph::ObjectID> id = controller->objectID(uri);
    if (!id) return std::nullopt;
    graph::Context& context = *controller->mainContext();
    std::optional<Article> article;
    context.performAndWait([&] {
        auto object = context.existingObject(*id);
        if (object.ok()) article = Article::from(object.value());
    });
    return article;
}

}  // namespace tallowmere
