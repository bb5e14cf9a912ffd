#include <gtest/gtest.h>

#include <QTest>

#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/FeedsManagementToolbar.h"
#include "window/FeedsManagementToolbarDelegate.h"

using namespace tallowmere;

namespace {

struct RefreshCounter : FeedsManagementToolbarDelegate {
    void refreshFeeds() override { ++refreshes; }
    int refreshes = 0;
};

struct ThemeScope {
    ThemePointer original = ThemesManager::shared().theme();
    void use(ThemeType type) { ThemesManager::shared().setTheme(ThemesManager::shared().themeFor(type)); }
    ~ThemeScope() { ThemesManager::shared().setTheme(original); }
};

bool spinnerCentredOnButton(FeedsManagementToolbar& toolbar) {
    const QRect button(toolbar.refreshButton()->mapTo(&toolbar, QPoint()), toolbar.refreshButton()->size());
    return (toolbar.refreshProgressIndicator()->geometry().center() - button.center()).manhattanLength() <= 1;
}

TEST(FeedsManagementToolbar, EveryAssignmentSwapsButtonAndSpinner) {
    FeedsManagementToolbar toolbar;
    toolbar.resize(250, 40);
    toolbar.show();
    EXPECT_FALSE(toolbar.isRefreshProgressHidden()) << "reads false at creation";
    EXPECT_TRUE(toolbar.refreshButton()->isVisible());
    EXPECT_FALSE(toolbar.refreshProgressIndicator()->isVisible());
    EXPECT_FALSE(toolbar.refreshProgressIndicator()->isAnimating());

    for (int twice = 0; twice < 2; ++twice) {
        toolbar.setRefreshProgressHidden(false);
        EXPECT_FALSE(toolbar.refreshButton()->isVisible());
        EXPECT_TRUE(toolbar.refreshProgressIndicator()->isVisible());
        EXPECT_TRUE(toolbar.refreshProgressIndicator()->isAnimating());
        EXPECT_TRUE(spinnerCentredOnButton(toolbar)) << "also while the button is hidden";
    }
    {
        // A theme change while refreshing keeps the spinner.
        ThemeScope themes;
        themes.use(ThemeType::latte);
        toolbar.applyTheme();
        EXPECT_TRUE(toolbar.refreshProgressIndicator()->isVisible());
        EXPECT_FALSE(toolbar.refreshButton()->isVisible());
    }
    toolbar.setRefreshProgressHidden(true);
    EXPECT_TRUE(toolbar.refreshButton()->isVisible());
    EXPECT_FALSE(toolbar.refreshProgressIndicator()->isVisible());
    EXPECT_FALSE(toolbar.refreshProgressIndicator()->isAnimating());
    EXPECT_TRUE(spinnerCentredOnButton(toolbar));
    toolbar.resize(400, 40);
    EXPECT_TRUE(spinnerCentredOnButton(toolbar)) << "follows the button";
}

TEST(FeedsManagementToolbar, TheButtonAsksTheDelegateAndNobodyElse) {
    FeedsManagementToolbar toolbar;
    toolbar.show();
    toolbar.refreshButton()->click();  // no delegate: nothing
    RefreshCounter counter;
    toolbar.setDelegate(&counter);
    toolbar.refreshButton()->click();
    EXPECT_EQ(counter.refreshes, 1);
    EXPECT_EQ(toolbar.refreshButton()->toolTip(), "Refresh Feeds");
}

TEST(FeedsManagementToolbar, TakesItsLookFromTheTheme) {
    ThemeScope themes;
    FeedsManagementToolbar toolbar;
    for (ThemeType type : {ThemeType::espresso, ThemeType::dark, ThemeType::cocoa, ThemeType::latte,
                           ThemeType::caramel, ThemeType::raspberry, ThemeType::mint, ThemeType::mocha}) {
        themes.use(type);
        toolbar.applyTheme();
        const ThemeSettings& settings = ThemesManager::shared().settings();
        const QColor buttons = ThemesManager::shared().colors().feedsButtons;
        if (settings.useFeedsBackgroundColors) {
            EXPECT_EQ(toolbar.appearance(), NamedAppearance::aqua);
            EXPECT_EQ(toolbar.refreshProgressIndicator()->spokeColor().rgb(), buttons.rgb()) << "tinted";
        } else {
            EXPECT_EQ(toolbar.appearance(), settings.feedsStyle == ThemeStyle::dark ? NamedAppearance::vibrantDark
                                                                                    : NamedAppearance::vibrantLight);
            EXPECT_FALSE(toolbar.refreshProgressIndicator()->tintColor().isValid()) << "untinted";
        }
        // Pressed: lighter on a dark sidebar, darker on a light one.
        const auto pressed = settings.feedsStyle == ThemeStyle::dark ? lighter(buttons) : darker(buttons);
        EXPECT_EQ(toolbar.alternateColor(), pressed);
        const QImage image = toolbar.image().toImage();
        const QImage pressedImage = toolbar.pressedImage().toImage();
        ASSERT_FALSE(image.isNull());
        // The artwork's opaque pixels carry the tint.
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                if (qAlpha(image.pixel(x, y)) == 255) {
                    EXPECT_EQ(QColor(image.pixel(x, y)).rgb(), buttons.rgb());
                    if (pressed) {
                        EXPECT_EQ(QColor(pressedImage.pixel(x, y)).rgb(), pressed->rgb());
                    }
                    found = true;
                }
            }
        }
        EXPECT_TRUE(found);
    }
}

}  // namespace
