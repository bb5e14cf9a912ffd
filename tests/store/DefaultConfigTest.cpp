#include <gtest/gtest.h>

#include <set>
#include <string>

#include "store/DefaultConfig.h"
#include "store/NewsletterType.h"

using namespace tallowmere;

TEST(DefaultConfig, FallBackValues) {
    EXPECT_EQ(DefaultConfig::selectedFeedAtLaunch, SelectedFeedAtLaunch::all);
    EXPECT_EQ(rawValue(DefaultConfig::feedsRefreshInterval), 5);
    EXPECT_EQ(rawValue(DefaultConfig::themeType), -1);
}

TEST(DefaultConfig, FourDistinctDefaultFeedsThreeSecureThenOnePlain) {
    std::set<std::string_view> distinct(DefaultConfig::defaultFeeds.begin(),
                                        DefaultConfig::defaultFeeds.end());
    EXPECT_EQ(distinct.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(DefaultConfig::defaultFeeds[i].starts_with("https://")) << DefaultConfig::defaultFeeds[i];
    }
    EXPECT_TRUE(DefaultConfig::defaultFeeds[3].starts_with("http://"));
    for (const auto link : {DefaultConfig::websiteURL, DefaultConfig::privacyPolicyURL,
                            DefaultConfig::termsOfServiceURL, DefaultConfig::iOSAppStoreURL}) {
        EXPECT_TRUE(link.starts_with("https://")) << link;
    }
}

TEST(SettingEnumerations, RawValuesOutsideTheirRangeFail) {
    for (long long raw = -3; raw <= 70; ++raw) {
        const bool themeKnown = raw >= -1 && raw <= 7;
        EXPECT_EQ(themeTypeFromRaw(raw).has_value(), themeKnown) << raw;
        if (themeKnown) {
            EXPECT_EQ(rawValue(*themeTypeFromRaw(raw)), raw);
        }
        const bool intervalKnown =
            raw == -1 || raw == 0 || raw == 1 || raw == 5 || raw == 15 || raw == 30 || raw == 60;
        EXPECT_EQ(feedsRefreshIntervalFromRaw(raw).has_value(), intervalKnown) << raw;
        if (intervalKnown) {
            EXPECT_EQ(rawValue(*feedsRefreshIntervalFromRaw(raw)), raw);
        }
        EXPECT_EQ(selectedFeedAtLaunchFromRaw(raw).has_value(), raw == 0 || raw == 1) << raw;
        EXPECT_EQ(newsletterTypeFromRaw(raw).has_value(), raw >= 0 && raw <= 2) << raw;
    }
    EXPECT_EQ(themeTypeFromRaw(-1), ThemeType::automatic);
    EXPECT_EQ(themeTypeFromRaw(7), ThemeType::mocha);
    EXPECT_EQ(newsletterTypeFromRaw(2), NewsletterType::daily);
}
