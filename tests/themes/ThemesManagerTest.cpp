#include <gtest/gtest.h>

#include "platform/dispatch/MainQueue.h"
#include "support/ui/UiWait.h"
#include "themes/ThemesManager.h"
#include "themes_core/ThemeTypeName.h"

using namespace tallowmere;
using desktop::Appearance;

namespace {

struct Choice {
    ThemeType type = ThemeType::espresso;
    Appearance appearance = Appearance::light;
};

ThemesManager managerOver(Choice& choice) {
    return ThemesManager([&choice] { return choice.type; }, [&choice] { return choice.appearance; });
}

TEST(ThemesManager, AutomaticFollowsTheDesktopStyle) {
    Choice choice{ThemeType::automatic, Appearance::dark};
    ThemesManager manager = managerOver(choice);
    EXPECT_EQ(manager.theme()->name(), "Dark");
    choice.appearance = Appearance::light;
    EXPECT_EQ(manager.themeFor(ThemeType::automatic)->name(), "Latte");
    EXPECT_EQ(manager.theme()->name(), "Dark") << "themeFor leaves the current theme alone";
    EXPECT_EQ(manager.themeFor(ThemeType::mint)->name(), "Mint");
}

TEST(ThemesManager, EveryCallBuildsAFreshTheme) {
    Choice choice;
    ThemesManager manager = managerOver(choice);
    EXPECT_NE(manager.themeFor(ThemeType::latte), manager.themeFor(ThemeType::latte));
    const ThemePointer before = manager.theme();
    manager.reloadTheme({});
    EXPECT_NE(manager.theme(), before) << "an unchanged choice still rebuilds";
    EXPECT_EQ(manager.theme()->name(), "Espresso");
}

TEST(ThemesManager, ReloadCompletesLaterOnTheMainQueue) {
    Choice choice;
    ThemesManager manager = managerOver(choice);
    choice.type = ThemeType::caramel;
    bool completed = false;
    std::string seen;
    manager.reloadTheme([&] {
        completed = true;
        seen = manager.theme()->name();
        EXPECT_TRUE(dispatch::MainQueue::shared().isCurrent());
    });
    EXPECT_FALSE(completed) << "never synchronous";
    EXPECT_EQ(manager.theme()->name(), "Caramel") << "the theme is in place at once";
    ASSERT_TRUE(test::waitUntil([&] { return completed; }));
    EXPECT_EQ(seen, "Caramel");
}

#ifdef NDEBUG
// Out of range cannot come from the settings; a release build reads it as
// the automatic choice instead of stopping.
TEST(ThemesManager, ThemeTypeOutOfRangeReadsAsAutomatic) {
    Choice choice{static_cast<ThemeType>(8), Appearance::dark};
    ThemesManager manager = managerOver(choice);
    EXPECT_EQ(manager.theme()->name(), "Dark");
    EXPECT_EQ(manager.themeFor(static_cast<ThemeType>(-2))->name(), "Dark");
    EXPECT_EQ(themeTypeName(static_cast<ThemeType>(42)), "Auto");
}
#endif

}  // namespace
