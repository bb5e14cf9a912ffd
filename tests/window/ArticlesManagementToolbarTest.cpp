#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "platform/dispatch/MainQueue.h"
#include "support/ui/UiWait.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesManagementToolbar.h"
#include "window/ArticlesManagementToolbarDelegate.h"

using namespace tallowmere;

namespace {

struct RecordingDelegate : ArticlesManagementToolbarDelegate {
    void articlesMarkAsRead() override { ++marks; }
    void searchTextDidChange(const std::string& text) override { texts.push_back(text); }
    int marks = 0;
    std::vector<std::string> texts;
};

// Lets queued main-queue work run.
void drainMainQueue() {
    bool done = false;
    dispatch::MainQueue::shared().async([&] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
}

TEST(ArticlesManagementToolbar, CountsAreWrittenThroughTheArticlesFormat) {
    ArticlesManagementToolbar toolbar;
    EXPECT_TRUE(toolbar.countField()->text().isEmpty()) << "no text before the first count";
    for (int count : {0, 1, 1000}) {
        toolbar.setArticlesCount(count);
        EXPECT_EQ(toolbar.countField()->text(), QStringLiteral("%1 articles").arg(count));
    }
    EXPECT_EQ(toolbar.countField()->textFormat(), Qt::PlainText);
    EXPECT_EQ(toolbar.markAsReadButton()->toolTip(), QStringLiteral("Mark listed articles as read"));
    EXPECT_EQ(toolbar.searchButton()->toolTip(), QStringLiteral("Search articles"));
    EXPECT_FALSE(toolbar.markAsReadButton()->icon().isNull());
}

TEST(ArticlesManagementToolbar, WithoutADelegateTheButtonsDoNothingAndWithOneTheyReport) {
    ArticlesManagementToolbar toolbar;
    toolbar.markAsReadButton()->click();
    toolbar.searchField()->setText(QStringLiteral("x"));
    toolbar.searchTextChange();
    RecordingDelegate delegate;
    toolbar.setDelegate(&delegate);
    toolbar.markAsReadButton()->click();
    EXPECT_EQ(delegate.marks, 1);
}

TEST(ArticlesManagementToolbar, TypingReportsAfterAPauseAndReturnAtOnce) {
    ArticlesManagementToolbar toolbar;
    RecordingDelegate delegate;
    toolbar.setDelegate(&delegate);
    toolbar.showSearchField();
    QTest::keyClicks(toolbar.searchField(), QStringLiteral("abc"));
    EXPECT_TRUE(delegate.texts.empty()) << "nothing while typing";
    ASSERT_TRUE(test::waitUntil([&] { return !delegate.texts.empty(); }, 2000));
    EXPECT_EQ(delegate.texts, std::vector<std::string>{"abc"});
    QTest::keyClicks(toolbar.searchField(), QStringLiteral("d"));
    QTest::keyClick(toolbar.searchField(), Qt::Key_Return);
    EXPECT_EQ(delegate.texts, (std::vector<std::string>{"abc", "abcd"}));
    QTest::qWait(ArticlesManagementToolbar::typingPauseMs + 100);
    EXPECT_EQ(delegate.texts.size(), 2u) << "Return took the pending report's place";
}

TEST(ArticlesManagementToolbar, TheCancelButtonClearsAndReportsOnlyWhenThereWasText) {
    ArticlesManagementToolbar toolbar;
    RecordingDelegate delegate;
    toolbar.setDelegate(&delegate);
    toolbar.showSearchField();
    EXPECT_FALSE(toolbar.clearSearchAction()->isVisible());
    toolbar.searchField()->setText(QStringLiteral("query"));
    EXPECT_TRUE(toolbar.clearSearchAction()->isVisible());
    toolbar.clearSearchAction()->trigger();
    EXPECT_EQ(delegate.texts, std::vector<std::string>{""});
    toolbar.clearSearchText();
    EXPECT_EQ(delegate.texts.size(), 1u);
    EXPECT_EQ(toolbar.currentStackView(), toolbar.auxStackView()) << "the search row stays open";
}

TEST(ArticlesManagementToolbar, ClosingTheSearchRowReportsTheEmptyTextOnlyWhenTextWasPresent) {
    for (bool withText : {true, false}) {
        ArticlesManagementToolbar toolbar;
        RecordingDelegate delegate;
        toolbar.setDelegate(&delegate);
        toolbar.showSearchField();
        if (withText) toolbar.searchField()->setText(QStringLiteral("query"));
        toolbar.hideSearchField();
        EXPECT_TRUE(delegate.texts.empty()) << "the clearing waits for the main queue";
        drainMainQueue();
        EXPECT_EQ(delegate.texts, withText ? std::vector<std::string>{""} : std::vector<std::string>{});
        EXPECT_EQ(toolbar.currentStackView(), toolbar.stackView());
    }
}

TEST(ArticlesManagementToolbar, AThemeWithoutToolbarBackgroundLeavesTheToolbarClear) {
    ArticlesManagementToolbar toolbar;
    auto& themes = ThemesManager::shared();
    const ThemePointer original = themes.theme();
    for (int raw = 0; raw <= 7; ++raw) {
        const auto type = static_cast<ThemeType>(raw);
        themes.setTheme(themes.themeFor(type));
        toolbar.applyTheme();
        EXPECT_EQ(toolbar.autoFillBackground(), themes.settings().useToolbarsBackgroundColor);
    }
    themes.setTheme(original);
}

}  // namespace
