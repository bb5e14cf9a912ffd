#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QPointer>
#include <QScreen>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "menus/ArticlesTableViewMenu.h"
#include "menus/ShareService.h"
#include "menus/gui/MenuTestSupport.h"
#include "platform/desktop/Application.h"
#include "window/ActionRouter.h"
#include "window/ArticlesListFixture.h"
#include "window/ArticlesListModel.h"
#include "window/ArticlesTableView.h"

using namespace tallowmere;
using namespace tallowmere::test;

// The URLs the desktop was asked to open, in place of the mail program and the browser.
class CapturedURLs : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.push_back(url); }
};

namespace {

// The window of the list: it opens articles in the browser, as the main window's controller does.
class ListWindow : public QWidget, public ActionTarget {
public:
    bool respondsToAction(Action action) const override { return action == Action::viewArticleInDefaultBrowser; }
    void performAction(Action, const ActionArguments& arguments) override {
        if (auto article = arguments.first<Article>()) opened.push_back(article->objectID());
    }
    std::vector<graph::ObjectID> opened;
};

std::string text(const char* key) { return ArticlesTableViewMenu::localized(key); }

class ArticlesTableViewMenuTest : public ArticlesListTest {
protected:
    void SetUp() override {
        ArticlesListTest::SetUp();
        for (const char* scheme : {"mailto", "http", "https", "file", "javascript"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &captured, "open");
    }
    void TearDown() override {
        for (const char* scheme : {"mailto", "http", "https", "file", "javascript"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        desktop::Application::shared().setMainWindow(nullptr);
        window.reset();
        ArticlesListTest::TearDown();
    }

    void showList() {
        window = std::make_unique<ListWindow>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        // It takes the focus, which would select (and so read) the list's first row.
        layout->addWidget(new QPushButton(QStringLiteral("elsewhere")));
        layout->addWidget(list->view());
        window->resize(380, 700);
        desktop::Application::shared().setMainWindow(window.get());
        window->show();
        desktop::Application::activate(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        list->reloadArticles();
        settle();
    }
    // The articles under a newer one: loading the list selects (and reads) its first row.
    std::vector<Article> seedBelowTop(const Feed& feed, std::vector<Seed> seeds) {
        seeds.insert(seeds.begin(), Seed{"top", 1e9});
        auto articles = makeArticles(feed, seeds);
        articles.erase(articles.begin());
        return articles;
    }
    ArticlesTableView* table() { return list->articlesTableView(); }
    int rowOf(const Article& article) { return list->articlesModel()->row(article.objectID()).value_or(-1); }
    // The menu of a right click on the article's row, as the table makes it.
    std::unique_ptr<ArticlesTableViewMenu> menuFor(const Article& article) {
        const QRect row = table()->visualRect(list->articlesModel()->index(rowOf(article), 0));
        return std::unique_ptr<ArticlesTableViewMenu>(table()->menuForEvent(row.center()));
    }
    void setLink(const Article& article, std::optional<std::string> link) {
        background().performAndWait([&] {
            article.setLink(std::move(link));
            ASSERT_TRUE(background().save().ok());
        });
        settle();
    }
    bool isStarred(const Article& article) {
        bool starred = false;
        background().performAndWait([&] {
            background().refresh(article.object(), false);
            starred = article.isStarred();
        });
        return starred;
    }
    std::optional<graph::Date> readDate(const Article& article) {
        std::optional<graph::Date> date;
        background().performAndWait([&] {
            background().refresh(article.object(), false);
            date = article.readDate();
        });
        return date;
    }
    static QMenu* shareSubmenu(const QMenu& menu) {
        QAction* share = entry(menu, text("share"));
        return share ? share->menu() : nullptr;
    }

    CapturedURLs captured;
    std::unique_ptr<ListWindow> window;
};

TEST_F(ArticlesTableViewMenuTest, TitlesFollowTheReadAndStarredState) {
    Feed feed = makeFeed("states");
    auto articles = seedBelowTop(feed, {{"unread-plain", 4000, true, false},
                                        {"unread-starred", 3000, true, true},
                                        {"read-plain", 2000, false, false},
                                        {"read-starred", 1000, false, true}});
    showList();
    const std::string share = text("share"), browser = text("view_in_default_browser");
    const std::vector<std::vector<std::string>> expected = {
        {text("mark_as_read"), text("mark_as_starred"), "-", share, "-", browser},
        {text("mark_as_read"), text("remove_from_starred"), "-", share, "-", browser},
        {text("mark_as_unread"), text("mark_as_starred"), "-", share, "-", browser},
        {text("mark_as_unread"), text("remove_from_starred"), "-", share, "-", browser},
    };
    for (std::size_t i = 0; i < articles.size(); ++i) {
        auto menu = menuFor(articles[i]);
        ASSERT_TRUE(menu);
        EXPECT_EQ(titles(*menu), expected[i]) << i;
        EXPECT_EQ(menu->title(), QString());
        for (QAction* action : menu->actions()) EXPECT_TRUE(action->shortcut().isEmpty());
    }
}

TEST_F(ArticlesTableViewMenuTest, TheStarToggleIsStoredAndRedrawsTheRowBeforeItReturns) {
    Feed feed = makeFeed("stars");
    Article article = seedBelowTop(feed, {{"starry", 1000}}).front();
    showList();
    QSignalSpy changed(list->articlesModel(), &QAbstractItemModel::dataChanged);
    for (const bool starred : {true, false}) {
        auto menu = menuFor(article);
        changed.clear();
        entry(*menu, text(starred ? "mark_as_starred" : "remove_from_starred"))->trigger();
        // Nothing has run the event loop since the choice.
        EXPECT_EQ(isStarred(article), starred);
        ASSERT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.front().at(0).value<QModelIndex>().row(), rowOf(article));
    }
}

TEST_F(ArticlesTableViewMenuTest, TheReadToggleLandsLaterWithTheTimeOfTheChoice) {
    Feed feed = makeFeed("reads");
    Article article = seedBelowTop(feed, {{"fresh", 1000}}).front();
    showList();
    auto menu = menuFor(article);
    const graph::Date chosen = graph::Date::now();
    entry(*menu, text("mark_as_read"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return readDate(article).has_value(); }, 10000));
    EXPECT_TRUE(isRead(article));
    EXPECT_LT(std::abs(readDate(article)->seconds - chosen.seconds), 1.0);

    menu = menuFor(article);
    entry(*menu, text("mark_as_unread"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return !isRead(article); }, 10000));
    EXPECT_FALSE(readDate(article));
}

TEST_F(ArticlesTableViewMenuTest, TheShareSubmenuOffersWhatFitsTheLink) {
    Feed feed = makeFeed("links");
    Article article = seedBelowTop(feed, {{"linked", 1000}}).front();
    showList();
    const std::string copy = text("copy_article_url"), email = ShareService::localized("email"),
                      browser = ShareService::localized("open_in_browser");
    struct Case {
        std::optional<std::string> link;
        std::vector<std::string> entries;  // empty: no submenu
    };
    const std::vector<Case> cases = {
        {"https://example.org/a?x=1&y=2#part", {copy, email, browser}},
        {"HTTP://example.org/", {copy, email, browser}},
        {"javascript:alert(document.cookie)", {copy, email}},
        {"file:///etc/passwd", {copy, email}},
        {"https://example.org/with spaces", {}},
        {"", {}},
        {"relative/path", {}},
        {std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link.value_or("(none)"));
        setLink(article, c.link);
        auto menu = menuFor(article);
        QMenu* submenu = shareSubmenu(*menu);
        if (c.entries.empty()) {
            EXPECT_EQ(submenu, nullptr);
            EXPECT_FALSE(entry(*menu, text("share"))->isEnabled());
            continue;
        }
        ASSERT_NE(submenu, nullptr);
        EXPECT_EQ(titles(*submenu), c.entries);
        EXPECT_FALSE(submenu->actions().front()->icon().isNull()) << "the copy service shows its image";
        // Copying puts the link as written, also one that is no web link.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        submenu->actions().front()->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), *c.link);
    }
}

TEST_F(ArticlesTableViewMenuTest, MailAndBrowserGetTheLinkWhole) {
    Feed feed = makeFeed("mail");
    Article article = seedBelowTop(feed, {{"shared", 1000}}).front();
    const std::string link = "https://example.org/a?x=1&y=2&cc=eve@example.org#part";
    setLink(article, link);
    showList();
    auto menu = menuFor(article);
    QMenu* submenu = shareSubmenu(*menu);
    ASSERT_NE(submenu, nullptr);

    entry(*submenu, ShareService::localized("email"))->trigger();
    ASSERT_EQ(captured.urls.size(), 1u);
    const QUrl mail = captured.urls.back();
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail.path(), QString());
    const auto items = QUrlQuery(mail).queryItems(QUrl::FullyDecoded);
    ASSERT_EQ(items.size(), 1) << mail.toString().toStdString();
    EXPECT_EQ(items.front().first, QStringLiteral("body"));
    EXPECT_EQ(items.front().second.toStdString(), link);

    entry(*submenu, ShareService::localized("open_in_browser"))->trigger();
    ASSERT_EQ(captured.urls.size(), 2u);
    EXPECT_EQ(captured.urls.back().toString(QUrl::FullyEncoded).toStdString(), link);

    // An entry carrying anything else shares nothing.
    QAction foreign(QStringLiteral("foreign"));
    foreign.setData(QStringLiteral("https://example.org/other"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    menu->performShare(&foreign);
    EXPECT_EQ(captured.urls.size(), 2u);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(ArticlesTableViewMenuTest, TheOpenMenuBordersItsRowAndOpensTheShareEntries) {
    Feed feed = makeFeed("looks");
    auto articles = seedBelowTop(feed, {{"council-approves-the-park", 3000}, {"harbour-opens-for-rowing", 2000}});
    showList();
    const QRect row = table()->visualRect(list->articlesModel()->index(rowOf(articles[1]), 0));
    QContextMenuEvent event(QContextMenuEvent::Mouse, row.center(), table()->viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(table()->viewport(), &event);
    QPointer<ArticlesTableViewMenu> menu = table()->openMenu();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }));
    ArticlesRowView* rowView = table()->rowView(rowOf(articles[1]), false);
    ASSERT_NE(rowView, nullptr);
    EXPECT_TRUE(rowView->isBordered());
    // By the keyboard, as a user would: onto "share", then into its submenu.
    menu->setActiveAction(entry(*menu, text("share")));
    QTest::keyClick(menu, Qt::Key_Right);
    QMenu* submenu = shareSubmenu(*menu);
    ASSERT_NE(submenu, nullptr);
    ASSERT_TRUE(waitUntil([&] { return submenu->isVisible(); }));
    QApplication::processEvents();
    window->screen()->grabWindow(0).save(QStringLiteral(TALLOWMERE_SCREENSHOTS_DIR "/articles_share_menu_screen.png"));
    EXPECT_EQ(submenu->actions().front()->text().toStdString(), text("copy_article_url"));
    EXPECT_FALSE(submenu->actions().front()->icon().isNull());
    QTest::keyClick(submenu, Qt::Key_Escape);
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !menu; })) << "released once closed";
    EXPECT_FALSE(rowView->isBordered()) << "closed without a choice";
}

TEST_F(ArticlesTableViewMenuTest, ViewInDefaultBrowserSendsTheArticleToTheWindow) {
    Feed feed = makeFeed("browse");
    Article article = seedBelowTop(feed, {{"page", 1000}}).front();
    showList();
    auto menu = menuFor(article);
    entry(*menu, text("view_in_default_browser"))->trigger();
    EXPECT_EQ(window->opened, std::vector<graph::ObjectID>{article.objectID()});
}

TEST_F(ArticlesTableViewMenuTest, AnArticleDeletedWhileItsMenuIsOpenIsLeftAlone) {
    Feed feed = makeFeed("gone");
    Article article = seedBelowTop(feed, {{"vanishing", 1000}}).front();
    showList();
    auto menu = menuFor(article);
    const Article held = menu->article();
    background().performAndWait([&] {
        background().deleteObject(article.object());
        ASSERT_TRUE(background().save().ok());
    });
    settle();
    ASSERT_TRUE(waitUntil([&] { return held.isDeleted(); }, 10000));
    QSignalSpy changed(list->articlesModel(), &QAbstractItemModel::dataChanged);
    menu->toggleStarred();
    menu->toggleRead();
    settle();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(list->articlesModel()->rowCount(), 1) << "the top article alone";
}

}  // namespace

#include "ArticlesTableViewMenuTest.moc"
