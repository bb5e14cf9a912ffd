#include "store/Preferences.h"

#include <map>
#include <mutex>
#include <set>

#include "store/DefaultConfig.h"
#include "store/SettingsIssueLog.h"

namespace tallowmere {
namespace {

using defaults::Value;

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<Preferences>& sharedSlot() {
    static std::shared_ptr<Preferences> preferences;
    return preferences;
}

const std::set<std::string>& observableKeyPaths() {
    static const std::set<std::string> keyPaths = {
        Preferences::KeyPath::feedsRefreshInterval,
        Preferences::KeyPath::showUnreadArticlesCountBadge,
        Preferences::KeyPath::showOldestUnreadArticlesFirst,
        Preferences::KeyPath::groupArticlesByFeed,
        Preferences::KeyPath::cloudEnabled,
        Preferences::KeyPath::themeType,
    };
    return keyPaths;
}

std::map<std::string, Value> registeredDefaults() {
    using Key = Preferences::Key;
    return {
        {Key::selectedFeedAtLaunch, Value(rawValue(DefaultConfig::selectedFeedAtLaunch))},
        {Key::feedsRefreshInterval, Value(rawValue(DefaultConfig::feedsRefreshInterval))},
        {Key::showUnreadArticlesCountBadge, Value(true)},
        {Key::alwaysShowFullArticle, Value(false)},
        {Key::showNewArticleNotification, Value(true)},
        {Key::openArticleInSafari, Value(false)},
        {Key::openSafariInReaderMode, Value(true)},
        {Key::showOldestUnreadArticlesFirst, Value(false)},
        {Key::groupArticlesByFeed, Value(false)},
        {Key::cloudEnabled, Value(true)},
    };
}

}  // namespace

Preferences::Preferences(std::shared_ptr<defaults::UserDefaults> defaults,
                         std::shared_ptr<defaults::SyncedStore> cloudStore)
    : defaults_(std::move(defaults)), cloudStore_(std::move(cloudStore)) {
    SettingsIssueLog::install(*defaults_);
    defaults_->registerDefaults(registeredDefaults());
    externalChangeToken_ = cloudStore_->addExternalChangeObserver(
        [this](const defaults::SyncedStoreChange& change) { cloudStoreDidChange(change); });
    cloudStore_->synchronize();
    // Only keys that are neither stored nor registered locally: for those the
    // synced value is the best there is.
    for (const auto& [key, value] : cloudStore_->dictionaryRepresentation()) {
        if (key == Key::guidSyncDate) continue;  // another device's date, see setGuidSyncDate
        if (!defaults_->object(key)) defaults_->set(key, value);
    }
}

std::shared_ptr<Preferences> Preferences::shared() {
    std::lock_guard lock(sharedMutex());
    auto& preferences = sharedSlot();
    if (!preferences) {
        preferences = std::make_shared<Preferences>(defaults::UserDefaults::standard(),
                                                    defaults::SyncedStore::defaultStore());
    }
    return preferences;
}

void Preferences::replaceShared(std::shared_ptr<Preferences> preferences) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(preferences);
}

SelectedFeedAtLaunch Preferences::selectedFeedAtLaunch() const {
    return selectedFeedAtLaunchFromRaw(defaults_->integer(Key::selectedFeedAtLaunch))
        .value_or(DefaultConfig::selectedFeedAtLaunch);
}

void Preferences::setSelectedFeedAtLaunch(SelectedFeedAtLaunch value) {
    if (value == selectedFeedAtLaunch()) return;
    writeInteger(Key::selectedFeedAtLaunch, rawValue(value), true);
}

FeedsRefreshInterval Preferences::feedsRefreshInterval() const {
    return feedsRefreshIntervalFromRaw(defaults_->integer(Key::feedsRefreshInterval))
        .value_or(DefaultConfig::feedsRefreshInterval);
}

void Preferences::setFeedsRefreshInterval(FeedsRefreshInterval value) {
    if (value != feedsRefreshInterval()) writeInteger(Key::feedsRefreshInterval, rawValue(value), true);
    notify(KeyPath::feedsRefreshInterval);
}

bool Preferences::showUnreadArticlesCountBadge() const {
    return readBoolean(Key::showUnreadArticlesCountBadge);
}

void Preferences::setShowUnreadArticlesCountBadge(bool value) {
    writeBoolean(Key::showUnreadArticlesCountBadge, value, true);
    notify(KeyPath::showUnreadArticlesCountBadge);
}

bool Preferences::alwaysShowFullArticle() const { return readBoolean(Key::alwaysShowFullArticle); }

void Preferences::setAlwaysShowFullArticle(bool value) {
    writeBoolean(Key::alwaysShowFullArticle, value, true);
}

bool Preferences::showNewArticleNotification() const { return readBoolean(Key::showNewArticleNotification); }

void Preferences::setShowNewArticleNotification(bool value) {
    writeBoolean(Key::showNewArticleNotification, value, true);
}

bool Preferences::openArticleInSafari() const { return readBoolean(Key::openArticleInSafari); }

void Preferences::setOpenArticleInSafari(bool value) { writeBoolean(Key::openArticleInSafari, value, true); }

bool Preferences::openSafariInReaderMode() const { return readBoolean(Key::openSafariInReaderMode); }

void Preferences::setOpenSafariInReaderMode(bool value) {
    writeBoolean(Key::openSafariInReaderMode, value, true);
}

bool Preferences::showOldestUnreadArticlesFirst() const {
    return readBoolean(Key::showOldestUnreadArticlesFirst);
}

void Preferences::setShowOldestUnreadArticlesFirst(bool value) {
    writeBoolean(Key::showOldestUnreadArticlesFirst, value, true);
    notify(KeyPath::showOldestUnreadArticlesFirst);
}

bool Preferences::groupArticlesByFeed() const { return readBoolean(Key::groupArticlesByFeed); }

void Preferences::setGroupArticlesByFeed(bool value) {
    writeBoolean(Key::groupArticlesByFeed, value, true);
    notify(KeyPath::groupArticlesByFeed);
}

bool Preferences::cloudEnabled() const { return readBoolean(Key::cloudEnabled); }

void Preferences::setCloudEnabled(bool value) {
    writeBoolean(Key::cloudEnabled, value, false);
    notify(KeyPath::cloudEnabled);
}

// Not registered, so a fresh installation reads 0; only a stored value outside
// the known themes falls back to the default.
ThemeType Preferences::themeType() const {
    return themeTypeFromRaw(defaults_->integer(Key::themeType)).value_or(DefaultConfig::themeType);
}

void Preferences::setThemeType(ThemeType value) {
    if (value != themeType()) writeInteger(Key::themeType, rawValue(value), false);
    notify(KeyPath::themeType);
}

std::optional<defaults::Date> Preferences::guidSyncDate() const { return defaults_->date(Key::guidSyncDate); }

// The date of this device's last feed-list reconciliation. It stays on this
// device: taken over by another device, it would let that device skip its
// own first reconciliation and keep feeds the account no longer has.
void Preferences::setGuidSyncDate(std::optional<defaults::Date> value) {
    if (value == guidSyncDate()) return;
    if (value) {
        defaults_->set(Key::guidSyncDate, Value(*value));
    } else {
        defaults_->removeObject(Key::guidSyncDate);
    }
}

defaults::ObserverToken Preferences::observe(const std::string& keyPath, ObserverCallback callback) {
    if (!observableKeyPaths().contains(keyPath)) return {};
    return observers_.add(keyPath, std::move(callback));
}

void Preferences::cloudStoreDidChange(const defaults::SyncedStoreChange& change) {
    if (!change.changedKeys) return;
    for (const auto& key : *change.changedKeys) applyExternalChange(key);
    defaults_->synchronize();
}

void Preferences::applyExternalChange(const std::string& key) {
    if (key == Key::selectedFeedAtLaunch) {
        if (auto value = selectedFeedAtLaunchFromRaw(cloudStore_->integer(key)))
            setSelectedFeedAtLaunch(*value);
    } else if (key == Key::feedsRefreshInterval) {
        if (auto value = feedsRefreshIntervalFromRaw(cloudStore_->integer(key)))
            setFeedsRefreshInterval(*value);
    } else if (key == Key::showUnreadArticlesCountBadge) {
        setShowUnreadArticlesCountBadge(cloudStore_->boolean(key));
    } else if (key == Key::showOldestUnreadArticlesFirst) {
        setShowOldestUnreadArticlesFirst(cloudStore_->boolean(key));
    } else if (key == Key::groupArticlesByFeed) {
        setGroupArticlesByFeed(cloudStore_->boolean(key));
    } else if (key == Key::alwaysShowFullArticle || key == Key::showNewArticleNotification ||
               key == Key::openArticleInSafari || key == Key::openSafariInReaderMode) {
        applyExternalBoolean(key);
    }
    // Other keys, "CloudEnabled", "ThemeType" and "GUIDSyncDate" among them, stay local.
}

void Preferences::applyExternalBoolean(const std::string& key) {
    writeBoolean(key.c_str(), cloudStore_->boolean(key), true);
}

bool Preferences::readBoolean(const char* key) const { return defaults_->boolean(key); }

void Preferences::writeBoolean(const char* key, bool value, bool synced) {
    if (value == readBoolean(key)) return;
    defaults_->set(key, Value(value));
    if (synced) cloudStore_->set(key, Value(value));
}

void Preferences::writeInteger(const char* key, int value, bool synced) {
    defaults_->set(key, Value(value));
    if (synced) cloudStore_->set(key, Value(value));
}

void Preferences::notify(const char* keyPath) const { observers_.notify(keyPath, keyPath); }

}  // namespace tallowmere
