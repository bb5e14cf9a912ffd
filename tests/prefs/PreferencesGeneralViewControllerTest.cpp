#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <vector>

#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesGeneralViewController.h"
#include "PrefsTestSupport.h"

using namespace tallowmere;

namespace {

std::vector<long long> itemValues(const QComboBox* box) {
    std::vector<long long> values;
    for (int i = 0; i < box->count(); ++i) values.push_back(box->itemData(i).toLongLong());
    return values;
}

std::vector<std::string> itemTexts(const QComboBox* box) {
    std::vector<std::string> texts;
    for (int i = 0; i < box->count(); ++i) texts.push_back(box->itemText(i).toStdString());
    return texts;
}

// Picks an entry as the user does.
void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

TEST(PreferencesContentViewController, APaneWithNothingToSaveCompletesAtOnce) {
    PreferencesContentViewController pane;
    int calls = 0;
    pane.saveSettings([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    pane.saveSettings({});
    EXPECT_EQ(pane.preferredContentSize(), QSize(580, 0)) << "the plain pane has no rows";
}

TEST(PreferencesGeneralViewController, PopUpsOfferTheirEntriesWithTheValuesAsItemData) {
    test::FreshPreferences settings;
    settings.preferences->setThemeType(ThemeType::mint);
    settings.preferences->setFeedsRefreshInterval(FeedsRefreshInterval::thirtyMinutes);
    settings.preferences->setSelectedFeedAtLaunch(SelectedFeedAtLaunch::last);
    PreferencesGeneralViewController pane;
    pane.view();

    struct Case {
        QComboBox* box;
        std::vector<long long> values;
        std::vector<std::string> texts;
        int selected;
    };
    const std::vector<Case> cases = {
        {pane.themePopUp(),
         {-1, 0, 2, 3, 4, 5, 6, 7},
         {"Follow the System", "Espresso", "Cocoa", "Latte", "Caramel", "Raspberry", "Mint", "Mocha"},
         6},
        {pane.selectedFeedAtLaunchPopUp(), {0, 1}, {"All Articles", "Last selected"}, 1},
        {pane.feedsRefreshIntervalPopUp(),
         {-1, 0, 1, 5, 15, 30, 60},
         {"Never", "At start only", "Every minute", "Every 5 minutes", "Every 15 minutes", "Every 30 minutes",
          "Every hour"},
         5},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(itemValues(item.box), item.values);
        EXPECT_EQ(itemTexts(item.box), item.texts);
        EXPECT_EQ(item.box->currentIndex(), item.selected);
    }
    EXPECT_EQ(pane.preferredContentSize(), QSize(580, 210));
}

TEST(PreferencesGeneralViewController, AStoredDarkThemeSelectsNothingAndAChoiceStoresItsValue) {
    test::FreshPreferences settings;
    settings.preferences->setThemeType(ThemeType::dark);
    PreferencesGeneralViewController pane;
    pane.view();
    EXPECT_EQ(pane.themePopUp()->currentIndex(), -1);

    choose(pane.themePopUp(), 3);
    EXPECT_EQ(settings.preferences->themeType(), ThemeType::latte);
    EXPECT_EQ(settings.defaults->integer(Preferences::Key::themeType), 3);
}

TEST(PreferencesGeneralViewController, NeverStoresMinusOneAndAtLaunchZero) {
    test::FreshPreferences settings;
    PreferencesGeneralViewController pane;
    pane.view();
    choose(pane.feedsRefreshIntervalPopUp(), 0);
    EXPECT_EQ(settings.defaults->integer(Preferences::Key::feedsRefreshInterval), -1);
    choose(pane.feedsRefreshIntervalPopUp(), 1);
    EXPECT_EQ(settings.defaults->integer(Preferences::Key::feedsRefreshInterval), 0);
    choose(pane.selectedFeedAtLaunchPopUp(), 1);
    EXPECT_EQ(settings.preferences->selectedFeedAtLaunch(), SelectedFeedAtLaunch::last);
}

TEST(PreferencesGeneralViewController, UntickingTheCloudSwitchStoresFalseAndNothingElse) {
    test::FreshPreferences settings;
    settings.preferences->setCloudEnabled(true);
    PreferencesGeneralViewController pane;
    pane.view();
    ASSERT_TRUE(pane.cloudEnabledCheckBox()->isChecked());
    auto before = settings.defaults->dictionaryRepresentation();
    settings.synced->clearWrites();

    pane.cloudEnabledCheckBox()->click();

    auto after = settings.defaults->dictionaryRepresentation();
    EXPECT_FALSE(settings.preferences->cloudEnabled());
    before.erase(Preferences::Key::cloudEnabled);
    after.erase(Preferences::Key::cloudEnabled);
    EXPECT_EQ(before, after);
    EXPECT_TRUE(settings.synced->writes().empty()) << "the cloud switch stays on this computer";
}

TEST(PreferencesGeneralViewController, CheckBoxesShowAndWriteTheirSettingsAndAreNotReadAgain) {
    test::FreshPreferences settings;
    // The full-article box reads the local setting itself.
    settings.defaults->set(Preferences::Key::alwaysShowFullArticle, defaults::Value(true));
    settings.preferences->setShowUnreadArticlesCountBadge(false);
    PreferencesGeneralViewController pane;
    pane.view();
    EXPECT_TRUE(pane.alwaysShowFullArticleCheckBox()->isChecked());
    EXPECT_FALSE(pane.showUnreadArticlesCountBadgeCheckBox()->isChecked());

    pane.showUnreadArticlesCountBadgeCheckBox()->click();
    pane.alwaysShowFullArticleCheckBox()->click();
    EXPECT_TRUE(settings.preferences->showUnreadArticlesCountBadge());
    EXPECT_FALSE(settings.preferences->alwaysShowFullArticle());

    // Changed elsewhere: the pane keeps what it showed, also when shown again.
    const int shownTheme = pane.themePopUp()->currentIndex();
    settings.preferences->setThemeType(ThemeType::cocoa);
    pane.view()->show();
    pane.view()->hide();
    pane.view()->show();
    EXPECT_EQ(pane.themePopUp()->currentIndex(), shownTheme);
}

}  // namespace
