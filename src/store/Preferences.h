#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/defaults/ObserverList.h"
#include "platform/defaults/ObserverToken.h"
#include "platform/defaults/SyncedStore.h"
#include "platform/defaults/SyncedStoreChange.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/defaults/Value.h"
#include "store/FeedsRefreshInterval.h"
#include "store/SelectedFeedAtLaunch.h"
#include "themes_core/ThemeType.h"

namespace tallowmere {

// The program's settings. Each setting lives under a fixed key in the local
// settings; all but "CloudEnabled", "ThemeType" and "GUIDSyncDate" are mirrored to the synced
// store so that they follow the user to the other devices, and changes that
// arrive from there are applied here.
//
// A setter writes nothing when handed the current value. Six settings can be
// observed by key path (see KeyPath); their observers hear of every
// assignment, equal values included. Observer callbacks run on the thread
// that made the change (for an external change, the synced store's thread);
// observers that touch the user interface move to the main queue themselves.
// Property access takes no lock of its own; both stores are safe from any
// thread.
class Preferences {
public:
    struct Key {
        static constexpr const char* selectedFeedAtLaunch = "SelectedFeedAtLaunch";
        static constexpr const char* feedsRefreshInterval = "FeedsRefreshInterval";
        static constexpr const char* showUnreadArticlesCountBadge = "ShowUnreadArticlesCountBadge";
        static constexpr const char* alwaysShowFullArticle = "AlwaysShowFullArticle";
        static constexpr const char* showNewArticleNotification = "ShowNewArticleNotification";
        static constexpr const char* openArticleInSafari = "OpenArticleInSafari";
        static constexpr const char* openSafariInReaderMode = "OpenSafariInReaderMode";
        static constexpr const char* showOldestUnreadArticlesFirst = "ShowOldestUnreadArticlesFirst";
        static constexpr const char* groupArticlesByFeed = "GroupArticlesByFeed";
        static constexpr const char* cloudEnabled = "CloudEnabled";
        static constexpr const char* themeType = "ThemeType";
        static constexpr const char* guidSyncDate = "GUIDSyncDate";
    };
    struct KeyPath {
        static constexpr const char* feedsRefreshInterval = "feedsRefreshInterval";
        static constexpr const char* showUnreadArticlesCountBadge = "showUnreadArticlesCountBadge";
        static constexpr const char* showOldestUnreadArticlesFirst = "showOldestUnreadArticlesFirst";
        static constexpr const char* groupArticlesByFeed = "groupArticlesByFeed";
        static constexpr const char* cloudEnabled = "cloudEnabled";
        static constexpr const char* themeType = "themeType";
    };
    using ObserverCallback = std::function<void(const std::string& keyPath)>;

    // Registers the defaults, starts listening to external changes and copies
    // synced values that the local settings know nothing of.
    Preferences(std::shared_ptr<defaults::UserDefaults> defaults,
                std::shared_ptr<defaults::SyncedStore> cloudStore);
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // The process's settings over the standard settings file and the default
    // synced store, made on first use.
    static std::shared_ptr<Preferences> shared();
    // Puts another instance in place of the shared one (tests); nothing makes
    // the next shared() build a fresh one from the standard stores.
    static void replaceShared(std::shared_ptr<Preferences> preferences);

    defaults::UserDefaults& defaults() const { return *defaults_; }
    defaults::SyncedStore& cloudStore() const { return *cloudStore_; }

    SelectedFeedAtLaunch selectedFeedAtLaunch() const;
    void setSelectedFeedAtLaunch(SelectedFeedAtLaunch value);
    FeedsRefreshInterval feedsRefreshInterval() const;
    void setFeedsRefreshInterval(FeedsRefreshInterval value);
    bool showUnreadArticlesCountBadge() const;
    void setShowUnreadArticlesCountBadge(bool value);
    bool alwaysShowFullArticle() const;
    void setAlwaysShowFullArticle(bool value);
    bool showNewArticleNotification() const;
    void setShowNewArticleNotification(bool value);
    // Open articles in the default web browser, and there in its reader view
    // where it has one (the key names stay as they are stored).
    bool openArticleInSafari() const;
    void setOpenArticleInSafari(bool value);
    bool openSafariInReaderMode() const;
    void setOpenSafariInReaderMode(bool value);
    bool showOldestUnreadArticlesFirst() const;
    void setShowOldestUnreadArticlesFirst(bool value);
    bool groupArticlesByFeed() const;
    void setGroupArticlesByFeed(bool value);
    bool cloudEnabled() const;
    void setCloudEnabled(bool value);
    ThemeType themeType() const;
    void setThemeType(ThemeType value);
    std::optional<defaults::Date> guidSyncDate() const;
    void setGuidSyncDate(std::optional<defaults::Date> value);

    // Observes one of the KeyPath settings. A key path that names no
    // observable setting gives an inactive token.
    defaults::ObserverToken observe(const std::string& keyPath, ObserverCallback callback);

    // Applies values that changed in the synced store from outside.
    void cloudStoreDidChange(const defaults::SyncedStoreChange& change);

private:
    bool readBoolean(const char* key) const;
    // Writes locally and, when `synced`, to the synced store; nothing when the
    // value is already there.
    void writeBoolean(const char* key, bool value, bool synced);
    void writeInteger(const char* key, int value, bool synced);
    void notify(const char* keyPath) const;
    void applyExternalChange(const std::string& key);
    void applyExternalBoolean(const std::string& key);

    std::shared_ptr<defaults::UserDefaults> defaults_;
    std::shared_ptr<defaults::SyncedStore> cloudStore_;
    defaults::ObserverList<const std::string&> observers_;
    defaults::ObserverToken externalChangeToken_;
};

}  // namespace tallowmere
