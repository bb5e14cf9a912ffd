#include "prefs/PreferencesGeneralViewController.h"

#include <QCheckBox>
#include <QLabel>

#include "foundation/Localization.h"
#include "store/Preferences.h"
#include "window/PopUpButton.h"

namespace tallowmere {
namespace {

QString localized(const char* key) {
    return QString::fromStdString(
        Localization::shared()->localized(PreferencesGeneralViewController::tableName, key));
}

QLabel* label(const char* key) { return new QLabel(localized(key)); }

}  // namespace

PreferencesGeneralViewController::Entries<ThemeType> PreferencesGeneralViewController::themeEntries() {
    // "Auto" is always offered: the appearance watcher tells light from dark
    // on every desktop. Dark is never offered.
    return {
        {"Auto", ThemeType::automatic}, {"Espresso", ThemeType::espresso}, {"Cocoa", ThemeType::cocoa},
        {"Latte", ThemeType::latte},    {"Caramel", ThemeType::caramel},   {"Raspberry", ThemeType::raspberry},
        {"Mint", ThemeType::mint},      {"Mocha", ThemeType::mocha},
    };
}

PreferencesGeneralViewController::Entries<SelectedFeedAtLaunch>
PreferencesGeneralViewController::selectedFeedAtLaunchEntries() {
    return {{"all", SelectedFeedAtLaunch::all}, {"last_selected", SelectedFeedAtLaunch::last}};
}

PreferencesGeneralViewController::Entries<FeedsRefreshInterval>
PreferencesGeneralViewController::feedsRefreshIntervalEntries() {
    return {
        {"never", FeedsRefreshInterval::never},
        {"at_launch", FeedsRefreshInterval::atLaunch},
        {"every_min", FeedsRefreshInterval::oneMinute},
        {"every_5_min", FeedsRefreshInterval::fiveMinutes},
        {"every_15_min", FeedsRefreshInterval::fifteenMinutes},
        {"every_30_min", FeedsRefreshInterval::thirtyMinutes},
        {"every_hour", FeedsRefreshInterval::sixtyMinutes},
    };
}

PreferencesGeneralViewController::PreferencesGeneralViewController(QObject* parent)
    : PreferencesContentViewController(parent) {}

void PreferencesGeneralViewController::viewDidLoad() {
    auto preferences = Preferences::shared();
    themePopUp_ = new PopUpButton<ThemeType>(themeEntries(), preferences->themeType(), tableName,
                                             [](ThemeType value) { Preferences::shared()->setThemeType(value); });
    selectedFeedAtLaunchPopUp_ = new PopUpButton<SelectedFeedAtLaunch>(
        selectedFeedAtLaunchEntries(), preferences->selectedFeedAtLaunch(), tableName,
        [](SelectedFeedAtLaunch value) { Preferences::shared()->setSelectedFeedAtLaunch(value); });
    feedsRefreshIntervalPopUp_ = new PopUpButton<FeedsRefreshInterval>(
        feedsRefreshIntervalEntries(), preferences->feedsRefreshInterval(), tableName,
        [](FeedsRefreshInterval value) { Preferences::shared()->setFeedsRefreshInterval(value); });
    badgeCheckBox_ = checkBox("show_unread_articles_count_badge", preferences->showUnreadArticlesCountBadge(),
                              [](bool on) { Preferences::shared()->setShowUnreadArticlesCountBadge(on); });
    // Read from the local settings as they stand, not through the synced value.
    fullArticleCheckBox_ =
        checkBox("always_show_full_article", preferences->defaults().boolean(Preferences::Key::alwaysShowFullArticle),
                 [](bool on) { Preferences::shared()->setAlwaysShowFullArticle(on); });
    cloudCheckBox_ = checkBox("enable_icloud_sync_and_notifications", preferences->cloudEnabled(),
                              [](bool on) { Preferences::shared()->setCloudEnabled(on); });

    addRow(label("theme"), themePopUp_);
    addRow(label("selected_feed_at_launch"), selectedFeedAtLaunchPopUp_);
    addRow(label("feeds_refresh_interval"), feedsRefreshIntervalPopUp_);
    addRow(label("dock_icon"), badgeCheckBox_);
    addRow(label("article"), fullArticleCheckBox_);
    addRow(label("icloud"), cloudCheckBox_);
    setPreferredContentSize({preferredContentSize().width(), height});
}

QCheckBox* PreferencesGeneralViewController::checkBox(const char* key, bool on, void (*apply)(bool)) {
    auto* box = new QCheckBox(localized(key));
    box->setChecked(on);
    connect(box, &QCheckBox::clicked, this, [apply](bool checked) { apply(checked); });
    return box;
}

}  // namespace tallowmere
