#include "cloud/CloudRemoteNotificationHandler.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CloudArticleRecord.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudNotificationsManagerDelegate.h"
#include "cloud/ServiceSlot.h"
#include "feeds/FeedsManager.h"
#include "foundation/Logger.h"
#include "platform/cloud/QueryNotification.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"

namespace tallowmere {

using cloud::QueryNotification;

namespace {

ServiceSlot<CloudRemoteNotificationHandler>& slot() {
    static ServiceSlot<CloudRemoteNotificationHandler> instance(
        [] { return std::make_shared<CloudRemoteNotificationHandler>(); });
    return instance;
}

CloudRemoteNotificationHandler::Collaborators withDefaults(CloudRemoteNotificationHandler::Collaborators c) {
    if (!c.storeArticle) {
        c.storeArticle = [](const CloudArticle& article, CloudRemoteNotificationHandler::StoredCompletion completion) {
            FeedsManager::shared().addArticle(article, std::move(completion));
        };
    }
    if (!c.articles) c.articles = []() -> ArticlesSource& { return ArticlesSource::shared(); };
    if (!c.user) c.user = [] { return CloudUserManager::shared(); };
    if (!c.sync) c.sync = [] { return CloudSyncManager::shared(); };
    if (!c.delegate) {
        c.delegate = []() -> std::shared_ptr<NotificationsManagerDelegate> {
            return CloudNotificationsManager::shared()->delegate();
        };
    }
    if (!c.center) c.center = [] { return notifications::UserNotificationCenter::shared(); };
    return c;
}

void complete(const CloudRemoteNotificationHandler::Completion& completion) {
    completeInBackground(completion, std::optional<CloudArticle>{}, std::optional<Article>{});
}

}  // namespace

CloudRemoteNotificationHandler::CloudRemoteNotificationHandler(Collaborators collaborators)
    : CloudManager(collaborators.container), c_(withDefaults(std::move(collaborators))) {}

void CloudRemoteNotificationHandler::handleRemoteNotification(const Payload& payload, Completion completion) {
    if (payload.is_null()) {
        complete(completion);
        return;
    }
    const QueryNotification notification = QueryNotification::fromPayload(payload);
    if (!notification.subscriptionID) return;
    const std::string& id = *notification.subscriptionID;
    if (id == newArticleID) {
        handleNewArticle(notification.recordID, std::move(completion));
    } else if (id == guidUpdateID) {
        handleGUIDUpdate(notification.field<bool>(verifiedKey), std::move(completion));
    } else if (id == syncUpdateID) {
        c_.sync()->downloadSyncInfo([completion = std::move(completion)] { complete(completion); });
    }
}

void CloudRemoteNotificationHandler::handleNewArticle(const std::optional<cloud::RecordID>& recordID,
                                                      Completion completion) {
    fetchArticleRecord(recordID, [self = shared_from_this(), completion = std::move(completion)](
                                     std::optional<CloudArticle> article) {
        self->storePushedArticle(std::move(article), completion);
    });
}

void CloudRemoteNotificationHandler::fetchPushedArticle(const Payload& payload, ArticleCompletion completion) {
    fetchArticleRecord(QueryNotification::fromPayload(payload).recordID, std::move(completion));
}

void CloudRemoteNotificationHandler::fetchArticleRecord(const std::optional<cloud::RecordID>& recordID,
                                                        ArticleCompletion completion) {
    if (!recordID) {
        completeInBackground(std::move(completion), std::optional<CloudArticle>{});
        return;
    }
    publicDB()->fetchRecords(
        {*recordID}, CloudArticleRecord::pushedKeys(),
        [recordID = *recordID, completion = std::move(completion)](std::map<cloud::RecordID, cloud::Record> records,
                                                                   std::optional<cloud::Error> error) {
            if (error) {
                Logger::error([&] { return "fetchRecordsOperation error: " + error->textualDescription(); });
                completion(std::nullopt);
                return;
            }
            const auto found = records.find(recordID);
            if (found == records.end()) {
                completion(std::nullopt);
                return;
            }
            completion(CloudArticleRecord::article(found->second, CloudArticleRecord::Content::textOnly));
        });
}

void CloudRemoteNotificationHandler::storePushedArticle(std::optional<CloudArticle> article, Completion completion) {
    if (!article) {
        if (completion) completion(std::nullopt, std::nullopt);
        return;
    }
    c_.storeArticle(*article, [article, completion = std::move(completion)](std::optional<Article> stored) {
        if (completion) completion(article, std::move(stored));
    });
}

void CloudRemoteNotificationHandler::handleGUIDUpdate(std::optional<bool> verified, Completion completion) {
    if (auto delegate = std::dynamic_pointer_cast<CloudNotificationsManagerDelegate>(c_.delegate())) {
        delegate->userRecordDidChange();
    }
    if (verified) c_.user()->setEmailVerified(*verified);
    complete(completion);
}

CloudRemoteNotificationHandler::NotificationLink CloudRemoteNotificationHandler::notificationLink(const Payload& payload) {
    const QueryNotification notification = QueryNotification::fromPayload(payload);
    return NotificationLink{notification.field<std::string>(CloudArticleRecord::linkKey),
                            notification.field<std::string>(CloudArticleRecord::feedURLKey),
                            notification.field<std::string>(CloudArticleRecord::topImageURLKey)};
}

std::optional<Article> CloudRemoteNotificationHandler::article(const std::optional<CloudArticle>& pushed,
                                                              const Payload& payload) {
    std::optional<std::string> link;
    std::optional<std::string> feedURL;
    if (pushed) {
        link = pushed->link();
        feedURL = pushed->feedURL();
    } else {
        auto links = notificationLink(payload);
        link = std::move(links.link);
        feedURL = std::move(links.feedURL);
    }
    // An empty prefix would begin every link: such a push names no article.
    if (!link || !feedURL || link->empty() || feedURL->empty()) return std::nullopt;
    ArticlesSource& articles = c_.articles();
    if (auto exact = articles.articleMatching(*link, *feedURL)) return exact;
    return articles.article(*link, *feedURL);
}

void CloudRemoteNotificationHandler::didReceiveRemoteNotification(const cloud::Notification& notification) {
    const Payload payload = QueryNotification::payload(notification);
    shared()->presentAlert(payload);
    CloudNotificationsManager::shared()->handleRemoteNotification(payload, {});
}

void CloudRemoteNotificationHandler::presentAlert(const Payload& payload) {
    const QueryNotification notification = QueryNotification::fromPayload(payload);
    if (!notification.alertTitle && !notification.alertBody) return;
    notifications::UserNotification shown;
    shown.title = notification.alertTitle;
    shown.informativeText = notification.alertBody;
    shown.userInfo = payload;
    shown.soundName = notification.soundName;
    std::weak_ptr<CloudRemoteNotificationHandler> weak = weak_from_this();
    c_.center()->deliver(std::move(shown), [weak](notifications::NotificationID id, const Payload& userInfo) {
        if (auto self = weak.lock()) self->didActivate(id, userInfo);
    });
}

void CloudRemoteNotificationHandler::didActivate(notifications::NotificationID id, const Payload& userInfo) {
    if (!userInfo.is_object()) return;
    Payload payload = Payload::object();
    for (auto& [key, value] : userInfoForCloudKit(userInfo)) payload[key] = std::move(value);
    handleRemoteNotification(payload, [self = shared_from_this(), id, payload](std::optional<CloudArticle> pushed,
                                                                              std::optional<Article> stored) {
        std::optional<Article> shown = stored ? std::move(stored) : self->article(pushed, payload);
        if (!shown) return;
        dispatch::MainQueue::shared().async([self, id, shown = std::move(*shown)] {
            self->c_.center()->remove(id);
            if (auto delegate = self->c_.delegate()) delegate->showArticle(shown);
        });
    });
}

std::map<std::string, nlohmann::json> CloudRemoteNotificationHandler::userInfoForCloudKit(const Payload& userInfo) {
    std::map<std::string, nlohmann::json> dictionary;
    if (!userInfo.is_object()) return dictionary;
    for (const auto& [key, value] : userInfo.items()) dictionary.emplace(key, value);
    return dictionary;
}

std::shared_ptr<CloudRemoteNotificationHandler> CloudRemoteNotificationHandler::shared() { return slot().get(); }

void CloudRemoteNotificationHandler::setShared(std::shared_ptr<CloudRemoteNotificationHandler> handler) {
    slot().set(std::move(handler));
}

}  // namespace tallowmere
