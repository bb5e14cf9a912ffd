#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cloud/CloudArticle.h"
#include "cloud/CloudManager.h"
#include "cloud/CloudSyncManager.h"
#include "cloud/CloudUserManager.h"
#include "cloud/NotificationsManagerDelegate.h"
#include "platform/cloud/Notification.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "store/Article.h"

namespace tallowmere {

class ArticlesSource;

// What the cloud's pushes make the program do, by the subscription that
// raised them: a new mirrored article is fetched and stored, a change of
// the user's identity record is passed to the delegate, a change of the
// sync record downloads it. A push with an alert is shown on the desktop;
// its click runs the push again and shows its article.
class CloudRemoteNotificationHandler final : public CloudManager,
                                             public std::enable_shared_from_this<CloudRemoteNotificationHandler> {
public:
    using Payload = nlohmann::json;
    // The mirrored article of a "new_article" push and the article stored for it.
    using Completion = std::function<void(std::optional<CloudArticle> pushed, std::optional<Article> stored)>;
    using StoredCompletion = std::function<void(std::optional<Article> stored)>;
    using ArticleCompletion = std::function<void(std::optional<CloudArticle> article)>;

    static constexpr const char* newArticleID = "new_article";
    static constexpr const char* guidUpdateID = "guid_update";
    static constexpr const char* syncUpdateID = "sync_update";
    static constexpr const char* verifiedKey = "verified";

    // What the handler works with; each one left empty is the process's own.
    struct Collaborators {
        ContainerSource container;
        // Stores a pushed article into its feed (the feed engine).
        std::function<void(const CloudArticle& article, StoredCompletion completion)> storeArticle;
        std::function<ArticlesSource&()> articles;
        std::function<std::shared_ptr<CloudUserManager>()> user;
        std::function<std::shared_ptr<CloudSyncManager>()> sync;
        std::function<std::shared_ptr<NotificationsManagerDelegate>()> delegate;
        std::function<std::shared_ptr<notifications::UserNotificationCenter>()> center;
    };

    // The three links a "new_article" push carries.
    struct NotificationLink {
        std::optional<std::string> link;
        std::optional<std::string> feedURL;
        std::optional<std::string> topImageURL;
    };

    explicit CloudRemoteNotificationHandler(Collaborators collaborators = {});

    // A null payload completes at once with nothing; a payload of no known
    // subscription does nothing and never completes. The completion may be
    // empty; when given it runs once, on a background thread.
    void handleRemoteNotification(const Payload& payload, Completion completion);
    // The pushed record, fetched and converted; nothing when the payload
    // names none, the fetch fails or a required value is missing.
    void fetchPushedArticle(const Payload& payload, ArticleCompletion completion);
    static NotificationLink notificationLink(const Payload& payload);
    // The stored article a push is about: an exact match of link and feed
    // URL first, then the first whose link and feed URL begin with them.
    std::optional<Article> article(const std::optional<CloudArticle>& pushed, const Payload& payload);

    // A push as the cloud delivers it: its alert is shown (no desktop does
    // that by itself) and the cloud notifications manager handles it.
    static void didReceiveRemoteNotification(const cloud::Notification& notification);
    // Shows a push that carries an alert on the desktop; others: nothing.
    void presentAlert(const Payload& payload);
    // The user clicked the desktop notification of a push (main thread).
    void didActivate(notifications::NotificationID id, const Payload& userInfo);

    // A notification's user info as the string-keyed dictionary a push is
    // read from (empty when it is not a dictionary).
    static std::map<std::string, nlohmann::json> userInfoForCloudKit(const Payload& userInfo);

    static std::shared_ptr<CloudRemoteNotificationHandler> shared();
    static void setShared(std::shared_ptr<CloudRemoteNotificationHandler> handler);

private:
    void handleNewArticle(const std::optional<cloud::RecordID>& recordID, Completion completion);
    void fetchArticleRecord(const std::optional<cloud::RecordID>& recordID, ArticleCompletion completion);
    void handleGUIDUpdate(std::optional<bool> verified, Completion completion);
    void storePushedArticle(std::optional<CloudArticle> article, Completion completion);

    Collaborators c_;
};

}  // namespace tallowmere
