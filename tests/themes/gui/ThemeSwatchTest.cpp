// One window per theme with the three panes, their toolbars and every font
// role, drawn on a real X display, kept as build/screenshots/theme-<name>.png
// and probed where each theme colour must show.
#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "themes/ThemeCatalogue.h"
#include "themes_core/ThemeTypeName.h"
#include "window/GradientView.h"
#include "window/ProgressIndicator.h"
#include "window/ProgressView.h"
#include "window/Toolbar.h"
#include "window/ToolbarsViewController.h"

using namespace tallowmere;

namespace {

QColor over(const QColor& top, const QColor& under) {
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + under.redF() * (1 - a), top.greenF() * a + under.greenF() * (1 - a),
                            top.blueF() * a + under.blueF() * (1 - a));
}

void paint(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(colour.isValid() && colour.alpha() > 0);
}

QLabel* label(const QString& text, const ThemeFont& font, const QColor& colour) {
    auto* label = new QLabel(text + QStringLiteral("  · ") + QString::fromStdString(font.name) +
                             QStringLiteral(" ") + QString::number(font.size));
    label->setFont(font.font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

// The backdrop of a sidebar that paints no colours of its own.
QColor sidebarBase(ThemeStyle style) { return style == ThemeStyle::dark ? QColor(40, 40, 40) : QColor(236, 236, 236); }

struct Swatch {
    QWidget window;
    std::vector<std::unique_ptr<ToolbarsViewController>> panes;
    QWidget* selectedFeed = nullptr;
    QWidget* selectedArticle = nullptr;
    QWidget* articlesPane = nullptr;
    QWidget* readerPane = nullptr;
    QLabel* readerTitle = nullptr;
    ProgressView* progress = nullptr;
    Toolbar* articlesToolbar = nullptr;

    explicit Swatch(const Theme& theme) {
        const ThemeColors& c = theme.colors();
        const ThemeFonts& f = theme.fonts();
        const ThemeSettings& s = theme.settings();
        window.setWindowTitle(QString::fromStdString(theme.name()));
        auto* row = new QHBoxLayout(&window);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        auto separator = [&] {
            auto* line = new QWidget();
            line->setFixedWidth(1);
            paint(line, over(c.separator, c.windowBackground));
            row->addWidget(line);
        };

        // Sidebar.
        auto* feeds = pane(row, 230);
        auto* feedsToolbar = feeds->topToolbar();
        auto* spinner = new ProgressIndicator();
        spinner->setTintColor(c.feedsButtons);
        spinner->startAnimation();
        feedsToolbar->addView(spinner, feedsToolbar->stackView(), ToolbarGravity::trailing);
        paint(feeds->view(), sidebarBase(s.feedsStyle));
        QWidget* feedsContent = feeds->contentView();
        auto* feedsColumn = new QVBoxLayout(feedsContent);
        if (s.useFeedsBackgroundColors) {
            auto* gradient = new GradientView(c.feedsTopBackground, c.feedsBottomBackground, feedsContent);
            gradient->setGeometry(0, 0, 230, 560);
            gradient->lower();
        }
        feedsColumn->addWidget(label(QStringLiteral("Feed"), f.feedName, c.feedName));
        selectedFeed = new QWidget();
        paint(selectedFeed, c.feedsSelectedRow);
        auto* selectedLayout = new QVBoxLayout(selectedFeed);
        selectedLayout->addWidget(label(QStringLiteral("Selected"), f.feedName, c.feedSelectedName));
        feedsColumn->addWidget(selectedFeed);
        feedsColumn->addStretch();
        separator();

        // Article list.
        auto* articles = pane(row, 380);
        articlesPane = articles->contentView();
        // A toolbar without a colour of its own shows the pane behind it.
        paint(articles->view(), c.articlesBackground);
        paint(articlesPane, c.articlesBackground);
        articlesToolbar = articles->topToolbar();
        if (s.useToolbarsBackgroundColor) paint(articlesToolbar, c.windowBackground);
        articlesToolbar->addView(label(QStringLiteral("12 articles"), f.articlesCount, c.articlesCount),
                                 articlesToolbar->stackView(), ToolbarGravity::center);
        auto* articlesColumn = new QVBoxLayout(articlesPane);
        selectedArticle = new QWidget();
        paint(selectedArticle, c.articlesSelectedRow);
        auto* cell = new QVBoxLayout(selectedArticle);
        cell->addWidget(label(QStringLiteral("Feed name"), f.articleFeed, c.articleFeed));
        cell->addWidget(label(QStringLiteral("Unread title"), f.articleTitle, c.articleTitleUnread));
        cell->addWidget(label(QStringLiteral("Preview"), f.articleContent, c.articleContent));
        cell->addWidget(label(QStringLiteral("Date"), f.articleDate, c.articleDate));
        articlesColumn->addWidget(selectedArticle);
        articlesColumn->addWidget(label(QStringLiteral("Read title"), f.articleTitle, c.articleTitle));
        articlesColumn->addStretch();
        separator();

        // Reader.
        auto* reader = pane(row, 0);
        readerPane = reader->contentView();
        paint(reader->view(), s.useReaderBackgroundColor ? c.readerBackground : c.windowBackground);
        paint(readerPane, s.useReaderBackgroundColor ? c.readerBackground : c.windowBackground);
        Toolbar* readerToolbar = reader->topToolbar();
        if (s.useToolbarsBackgroundColor) paint(readerToolbar, c.windowBackground);
        auto* readerColumn = new QVBoxLayout(readerPane);
        readerColumn->setContentsMargins(20, 0, 20, 20);
        progress = new ProgressView(c.readerProgress);
        progress->setFixedHeight(3);
        readerColumn->addWidget(progress);
        readerColumn->addWidget(label(QStringLiteral("Feed"), f.readerFeed, c.readerFeed));
        readerTitle = label(QStringLiteral("Title"), f.readerTitle, c.readerTitle);
        readerColumn->addWidget(readerTitle);
        readerColumn->addWidget(label(QStringLiteral("Author"), f.readerCreator, c.readerCreator));
        readerColumn->addWidget(label(QStringLiteral("Body text of the article"), f.readerContent, c.readerContent));
        readerColumn->addWidget(label(QStringLiteral("https://example.org/link"), f.readerLink, c.readerLink));
        readerColumn->addStretch();
        window.resize(1100, 600);
    }

    ToolbarsViewController* pane(QHBoxLayout* row, int width) {
        panes.push_back(std::make_unique<ToolbarsViewController>());
        ToolbarsViewController* pane = panes.back().get();
        pane->setTopToolbar(new Toolbar());
        QWidget* view = pane->view();
        if (width > 0) view->setFixedWidth(width);
        row->addWidget(view, width > 0 ? 0 : 1);
        return pane;
    }
};

TEST(ThemeSwatch, EveryThemeDrawsItsColoursAndFonts) {
    for (ThemeType type : {ThemeType::espresso, ThemeType::dark, ThemeType::cocoa, ThemeType::latte,
                           ThemeType::caramel, ThemeType::raspberry, ThemeType::mint, ThemeType::mocha}) {
        const ThemePointer theme = ThemeCatalogue::theme(type);
        const ThemeColors& c = theme->colors();
        const ThemeSettings& s = theme->settings();
        SCOPED_TRACE(theme->name());
        Swatch swatch(*theme);
        swatch.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&swatch.window));
        swatch.progress->setProgress(0.6);
        ASSERT_TRUE(test::waitUntil([&] { return swatch.progress->barView()->width() == swatch.progress->barTargetWidth(); }));

        const QString name = QStringLiteral("theme-") + QString::fromStdString(theme->name()).toLower();
        test::Screenshot shot(&swatch.window, name);
        ASSERT_TRUE(shot.saved()) << shot.path().toStdString();

        auto at = [&](QWidget* widget, QPoint point) { return widget->mapTo(&swatch.window, point); };
        auto expectPixel = [&](QPoint point, const QColor& expected, const char* what) {
            EXPECT_TRUE(shot.pixelNear(point, expected, 3))
                << what << ": " << test::Screenshot::describe(shot.pixel(point)) << " instead of "
                << test::Screenshot::describe(expected);
        };
        const QWidget* articles = swatch.articlesPane;
        expectPixel(at(swatch.articlesPane, QPoint(articles->width() / 2, articles->height() - 10)),
                    c.articlesBackground, "article list background");
        expectPixel(at(swatch.selectedArticle, QPoint(swatch.selectedArticle->width() - 4, 4)), c.articlesSelectedRow,
                    "selected article row");
        const QWidget* reader = swatch.readerPane;
        expectPixel(at(swatch.readerPane, QPoint(reader->width() / 2, reader->height() - 10)),
                    s.useReaderBackgroundColor ? c.readerBackground : c.windowBackground, "reader background");
        expectPixel(at(swatch.progress->barView(), QPoint(2, 1)), c.readerProgress, "progress bar");
        if (s.useToolbarsBackgroundColor) {
            expectPixel(at(swatch.articlesToolbar, QPoint(4, 4)), c.windowBackground, "articles toolbar");
        }
        const QColor sidebarUnder =
            s.useFeedsBackgroundColors ? over(c.feedsTopBackground, sidebarBase(s.feedsStyle)) : sidebarBase(s.feedsStyle);
        expectPixel(at(swatch.selectedFeed, QPoint(swatch.selectedFeed->width() - 4, 4)),
                    over(c.feedsSelectedRow, sidebarUnder), "selected sidebar row");
        // The title is drawn in its colour.
        const QRect title(at(swatch.readerTitle, QPoint(0, 0)), swatch.readerTitle->size());
        EXPECT_GT(shot.countNear(title, over(c.readerTitle, s.useReaderBackgroundColor ? c.readerBackground : c.windowBackground), 8), 20)
            << "reader title text";
    }
}

}  // namespace
