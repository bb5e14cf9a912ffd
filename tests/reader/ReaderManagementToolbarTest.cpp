#include <gtest/gtest.h>

#include <QToolButton>
#include <vector>

#include "reader/ReaderManagementToolbar.h"
#include "reader/ReaderManagementToolbarDelegate.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemeCatalogue.h"
#include "themes/ThemesManager.h"

namespace tallowmere {
namespace {

struct RecordingDelegate : ReaderManagementToolbarDelegate {
    std::vector<std::string> calls;
    void readerMarkAsStarred(bool starred) override { calls.push_back(starred ? "star" : "unstar"); }
    void readerShare() override { calls.push_back("share"); }
    void readerShowNextArticle() override { calls.push_back("next"); }
    void readerSetReadMode(ReaderReadMode mode) override { calls.push_back("mode" + std::to_string(static_cast<int>(mode))); }
};

TEST(ReaderManagementToolbar, ReportsActionsAndOnlyNewSegments) {
    ReaderManagementToolbar toolbar;
    RecordingDelegate delegate;
    toolbar.setDelegate(&delegate);
    toolbar.starButton()->click();
    toolbar.starButton()->click();
    toolbar.shareButton()->click();
    toolbar.nextButton()->click();
    toolbar.segmentButton(0)->click();  // already the reported one
    toolbar.segmentButton(1)->click();
    toolbar.segmentButton(1)->click();
    toolbar.segmentButton(0)->click();
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"star", "unstar", "share", "next", "mode1", "mode0"}));

    // A segment set from outside is recorded: the next click on the other one counts.
    delegate.calls.clear();
    toolbar.setSelectedSegment(1);
    EXPECT_EQ(toolbar.readModeSelectedSegment(), 1);
    toolbar.segmentButton(0)->click();
    EXPECT_EQ(delegate.calls, (std::vector<std::string>{"mode0"}));

    // Without a delegate nothing is called, but the segment is still recorded.
    toolbar.setDelegate(nullptr);
    toolbar.segmentButton(1)->click();
    toolbar.starButton()->click();
    EXPECT_EQ(toolbar.readModeSelectedSegment(), 1);
    EXPECT_EQ(delegate.calls.size(), 1u);
}

TEST(ReaderManagementToolbar, ThemeSetsBackgroundAndPressedImages) {
    ThemesManager& manager = ThemesManager::shared();
    const ThemePointer previous = manager.theme();
    for (ThemeType type : {ThemeType::dark, ThemeType::latte}) {
        manager.setTheme(ThemeCatalogue::theme(type));
        ReaderManagementToolbar toolbar;
        const bool dark = manager.settings().readerStyle == ThemeStyle::dark;
        EXPECT_EQ(toolbar.autoFillBackground(), manager.settings().useToolbarsBackgroundColor);
        const QColor pressed = *(dark ? lighter(manager.colors().readerButtons) : darker(manager.colors().readerButtons));
        const QImage image = toolbar.shareButton()->icon().pixmap(QSize(36, 36), QIcon::Active).toImage();
        const QImage normal = toolbar.shareButton()->icon().pixmap(QSize(36, 36), QIcon::Normal).toImage();
        // The share image's stroke passes through its centre line at x = 29.
        bool sawPressed = false;
        bool sawNormal = false;
        for (int y = 0; y < image.height(); ++y) {
            const QColor p = image.pixelColor(29, y);
            const QColor n = normal.pixelColor(29, y);
            if (p.alpha() == 255 && p.rgb() == pressed.rgb()) sawPressed = true;
            if (n.alpha() == 255 && n.rgb() == manager.colors().readerButtons.rgb()) sawNormal = true;
        }
        EXPECT_TRUE(sawPressed) << static_cast<int>(type);
        EXPECT_TRUE(sawNormal) << static_cast<int>(type);
    }
    manager.setTheme(previous);
}

}  // namespace
}  // namespace tallowmere
