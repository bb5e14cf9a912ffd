#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "support/ui/Screenshot.h"
#include "themes/ThemeCatalogue.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesListFixture.h"
#include "window/ArticlesManagementToolbar.h"
#include "window/ArticlesTableView.h"

using namespace tallowmere;
using namespace tallowmere::test;

namespace {

class ArticlesTableViewTest : public ArticlesListTest {
protected:
    void SetUp() override {
        ArticlesListTest::SetUp();
        originalTheme = ThemesManager::shared().theme();
    }
    void TearDown() override {
        window.reset();
        ThemesManager::shared().setTheme(originalTheme);
        ArticlesListTest::TearDown();
    }
    // The pane in a window of its own, shown and active.
    void showPane() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        other = new QPushButton(QStringLiteral("elsewhere"));
        layout->addWidget(other);
        layout->addWidget(list->view());
        window->resize(380, 560);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void applyThemeEverywhere() {
        list->applyTheme();
        list->articlesTableView()->applyTheme();
        list->articlesManagementToolbar()->applyTheme();
        QApplication::processEvents();
    }
    // A few rows of a real feed: read and unread, long and marked-up text.
    void seed() {
        Feed feed = makeFeed("The Daily Example");
        Feed other = makeFeed("Tinkering Notes");
        auto first = makeArticles(feed, {{"Council approves the new riverside park after a long debate", 1'700'003'600, true, false,
                             "The plan adds trees, paths and a small harbour for rowing boats along the old docks."},
                            {"<b>Markup</b> stays as written", 1'700'000'000, false, false,
                             "<p>Tags such as <script>alert(1)</script> show as text, never as markup.</p>"}});
        for (const auto& article : first) search->indexArticle(article);
        makeArticles(other, {{"A 5000-character word", 1'699'990'000, true, false, std::string(5000, 'x')},
                             {"Read article", 1'699'980'000, false, true, "Already read: a lighter title."}});
        settle();
    }

    ThemePointer originalTheme;
    std::unique_ptr<QWidget> window;
    QPushButton* other = nullptr;
};

TEST_F(ArticlesTableViewTest, TheListInEveryTheme) {
    seed();
    showPane();
    list->reloadArticles();
    settle();
    list->selectArticle(*list->articlesModel()->article(2));
    settle();
    // Selecting marked the first rows read; two are unread again, to show both looks.
    for (int row : {0, 2}) {
        auto article = source->article(*list->articlesModel()->articleID(row));
        source->setRead(*article, false, {});
    }
    settle();
    auto& themes = ThemesManager::shared();
    for (int raw = 0; raw <= 7; ++raw) {
        const auto type = static_cast<ThemeType>(raw);
        themes.setTheme(themes.themeFor(type));
        applyThemeEverywhere();
        ASSERT_TRUE(waitUntil([&] { return list->articlesTableView()->isVisible(); }));
        Screenshot shot(window.get(), QStringLiteral("articles-list-theme-%1").arg(raw));
        ASSERT_TRUE(shot.saved());
        auto* table = list->articlesTableView();
        const QPoint tableOrigin = table->viewport()->mapTo(window.get(), QPoint(0, 0));
        // The selected row (row 2) is filled with the selection colour at its right edge.
        const QRect selected = table->visualRect(list->articlesModel()->index(2, 0)).translated(tableOrigin);
        EXPECT_TRUE(shot.pixelNear(QPoint(selected.right() - 3, selected.top() + 4), themes.colors().articlesSelectedRow, 6))
            << raw << " " << Screenshot::describe(shot.pixel(selected.right() - 3, selected.top() + 4));
        const QRect plain = table->visualRect(list->articlesModel()->index(1, 0)).translated(tableOrigin);
        EXPECT_TRUE(shot.pixelNear(QPoint(plain.right() - 3, plain.top() + 4), themes.colors().articlesBackground, 6)) << raw;
        EXPECT_EQ(selected.height(), 115);
    }
}

TEST_F(ArticlesTableViewTest, AContextMenuOnAnotherRowOutlinesThatRowAndKeepsTheSelection) {
    seed();
    showPane();
    list->reloadArticles();
    settle();
    auto* table = list->articlesTableView();
    const QRect row1 = table->visualRect(list->articlesModel()->index(1, 0));
    QContextMenuEvent event(QContextMenuEvent::Mouse, row1.center(), table->viewport()->mapToGlobal(row1.center()));
    QApplication::sendEvent(table->viewport(), &event);
    ASSERT_TRUE(waitUntil([&] { return table->openMenu() && table->openMenu()->isVisible(); }));
    ArticlesRowView* rowView = table->rowView(1, false);
    ASSERT_NE(rowView, nullptr);
    EXPECT_EQ(table->openMenu()->borderedRowView(), rowView);
    EXPECT_TRUE(rowView->isBordered());
    EXPECT_EQ(table->openMenu()->article().objectID(), list->articlesModel()->articleID(1));
    EXPECT_EQ(table->selectionModel()->selectedRows().first().row(), 0);
    QApplication::processEvents();
    {
        Screenshot shot(window.get(), QStringLiteral("articles-list-context-menu"));
        const QPoint origin = table->viewport()->mapTo(window.get(), QPoint(0, 0));
        const QRect border = row1.translated(origin);
        EXPECT_GT(shot.countNear(QRect(border.left() + 3, border.top(), 3, border.height()),
                                 ThemesManager::shared().colors().rowBorder, 40),
                  20);
    }
    table->openMenu()->close();
    ASSERT_TRUE(waitUntil([&] { return !table->openMenu(); }));
    EXPECT_FALSE(rowView->isBordered());

    // Below the last row: no menu.
    const QPoint below(10, table->visualRect(list->articlesModel()->index(3, 0)).bottom() + 20);
    EXPECT_EQ(table->menuForEvent(below), nullptr);
}

TEST_F(ArticlesTableViewTest, TheSearchRowTakesTheFocusAndGivesItBack) {
    seed();
    showPane();
    list->reloadArticles();
    list->articlesTableView()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return list->articlesTableView()->hasFocus(); }));
    auto* toolbar = list->articlesManagementToolbar();
    toolbar->showSearchField();
    EXPECT_EQ(toolbar->previousResponder(), list->articlesTableView());
    ASSERT_TRUE(waitUntil([&] { return toolbar->searchField()->hasFocus(); }));
    QTest::keyClicks(toolbar->searchField(), QStringLiteral("riverside"));
    ASSERT_TRUE(waitUntil([&] { return list->articlesModel()->rowCount() == 1; }, 3000)) << "found after the typing pause";
    waitUntil([&] { return toolbar->swapAnimation() == nullptr; }, 1000);
    Screenshot shot(window.get(), QStringLiteral("articles-list-search-row"));
    toolbar->hideSearchField();
    EXPECT_EQ(QApplication::focusWidget(), list->articlesTableView()) << "the focus went back where it was";
    EXPECT_TRUE(waitUntil([&] { return toolbar->currentStackView() == toolbar->stackView(); }));
    EXPECT_TRUE(toolbar->searchField()->text().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return list->articlesModel()->rowCount() == 4; })) << "the cleared search lists all again";

    // Opening twice moves the focus each time; the second records the field itself.
    toolbar->showSearchField();
    ASSERT_TRUE(waitUntil([&] { return toolbar->searchField()->hasFocus(); }));
    toolbar->showSearchField();
    EXPECT_TRUE(toolbar->searchField()->hasFocus());
    EXPECT_EQ(toolbar->previousResponder(), toolbar->searchField());
}

}  // namespace
