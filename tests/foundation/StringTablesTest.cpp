#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "foundation/Localization.h"
#include "foundation/Resources.h"

namespace tallowmere {
namespace {

// Every English table is a flat object of non-empty texts.
TEST(StringTables, EveryEnglishTableHoldsTextsOnly) {
    const auto paths = Resources::paths("strings/en/");
    EXPECT_GE(paths.size(), 16u);
    for (const auto path : paths) {
        const auto table = nlohmann::json::parse(*Resources::data(path), nullptr, false);
        ASSERT_TRUE(table.is_object()) << path;
        for (const auto& [key, text] : table.items()) {
            ASSERT_TRUE(text.is_string()) << path << " " << key;
            EXPECT_FALSE(text.get<std::string>().empty()) << path << " " << key;
        }
    }
}

TEST(StringTables, MenusAndPanesFindTheirTexts) {
    const Localization english(Resources::data, {"en"}, {"en"});
    const std::pair<const char*, const char*> uses[] = {
        {"AppMenuItem", "quit"},
        {"FileMenuItem", "export_opml"},
        {"EditMenuItem", "copy_article_url"},
        {"ViewMenuItem", "starred_articles"},
        {"FeedsMenuItem", "add_feed"},
        {"ArticlesMenuItem", "mark_listed_articles_as_read"},
        {"FiltersMenuItem", "today_articles"},
        {"WindowMenuItem", "bring_all_to_front"},
        {"HelpMenuItem", "terms_of_service"},
        {"FeedsOutlineViewMenu", "remove_confirmation"},
        {"ArticlesTableViewMenu", "remove_from_starred"},
        {"PreferencesViewController", "ios_app"},
        {"PreferencesGeneralViewController", "enable_icloud_sync_and_notifications"},
        {"PreferencesAdvancedViewController", "is_not_the_default_feed_reader"},
        {"PreferencesNotificationsViewController", "cant_subscribe_to_newsletter"},
    };
    for (const auto& [table, key] : uses) EXPECT_NE(english.localized(table, key), key) << table;
    EXPECT_EQ(Localization::format(english.localized("AppMenuItem", "quit"), {"Tallowmere"}), "Quit Tallowmere");
}

}  // namespace
}  // namespace tallowmere
