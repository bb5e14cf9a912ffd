#pragma once

#include <array>
#include <string_view>

#include "store/FeedsRefreshInterval.h"
#include "store/SelectedFeedAtLaunch.h"
#include "themes_core/ThemeType.h"

namespace tallowmere {

// Fixed configuration: the settings' fall-back values, the addresses that the
// Help menu and the preferences window open, and the feeds that a new
// installation starts with.
class DefaultConfig {
public:
    DefaultConfig() = delete;

    static constexpr SelectedFeedAtLaunch selectedFeedAtLaunch = SelectedFeedAtLaunch::all;
    static constexpr FeedsRefreshInterval feedsRefreshInterval = FeedsRefreshInterval::fiveMinutes;
    // Every supported desktop can tell light from dark, so the theme follows it.
    static constexpr ThemeType themeType = ThemeType::automatic;

    static constexpr std::string_view websiteURL = "https://tallowmere.example/";
    static constexpr std::string_view privacyPolicyURL = "https://privacy.example.net/tallowmere";
    static constexpr std::string_view termsOfServiceURL = "https://tallowmere.example/terms";
    static constexpr std::string_view iOSAppStoreURL = "https://tallowmere.example/phone";

    // Added in this order, each without a folder, on the first launch.
    static constexpr std::array<std::string_view, 4> defaultFeeds = {
        "https://feeds.bbci.co.uk/news/world/rss.xml",
        "https://www.theguardian.com/world/rss",
        "https://feeds.npr.org/1001/rss.xml",
        "http://feeds.arstechnica.com/arstechnica/index",
    };
};

}  // namespace tallowmere
