#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "foundation/AppUtils.h"
#include "foundation/Localization.h"
#include "menus/AppMenuItem.h"
#include "menus/ArticlesMenuItem.h"
#include "menus/DebugMenuItem.h"
#include "menus/HelpMenuItem.h"
#include "menus/KeyEquivalent.h"
#include "menus/MainMenu.h"
#include "menus/ViewMenuItem.h"
#include "menus/WindowMenuItem.h"
#include "menus/MenuRecorder.h"
#include "reader/ReaderReadMode.h"
#include "sources/ArticlesSourceFilter.h"
#include "store/DefaultConfig.h"
#include "store/Preferences.h"
#include "support/ui/UiWait.h"
#include "window/FeedsSmartGroup.h"

using namespace tallowmere;

namespace {

constexpr std::uint32_t cmd = 0x100000, opt = 0x80000, shift = 0x20000, ctrl = 0x40000;

// One entry as the bar must hold it: "-" for a separator.
struct Expected {
    const char* titleKey;
    const char* selector = "";
    const char* key = "";
    std::uint32_t mask = cmd;
    bool targetsItem = false;
    QVariant object = {};
    std::optional<int> tag = std::nullopt;
    bool hasState = false;
    bool on = false;
};

Expected separator() { return {"-"}; }

struct Submenu {
    const char* table;
    QString title;
    std::vector<Expected> entries;
};

QString text(const char* table, const char* key) { return QString::fromStdString(Localization::shared()->localized(table, key)); }

template <typename T>
QVariant boxed(T value) {
    return QVariant::fromValue(value);
}

std::vector<Submenu> expectedMenuBar(bool oldestFirst, bool grouped) {
    const QString name = QString::fromStdString(AppUtils::appName());
    const auto bare = 0u;
    return {
        {"AppMenuItem", name,
         {{"about", "orderFrontStandardAboutPanel:"}, separator(), {"preferences", "showPreferences", ","}, separator(),
          {"hide", "hide:", "h"}, separator(), {"quit", "terminate:", "q"}}},
        {"FileMenuItem", text("FileMenuItem", "file"),
         {{"import_opml", "importOPML"}, {"export_opml", "exportOPML"}, separator(), {"close_window", "close", "w"}}},
        {"EditMenuItem", text("EditMenuItem", "edit"),
         {{"cut", "cut:", "x"}, {"copy", "copy:", "c"}, {"copy_article_url", "copyArticleURL", "c", cmd | shift},
          {"paste", "paste:", "v"}, {"select_all", "selectAll:", "a"}}},
        {"ViewMenuItem", text("ViewMenuItem", "view"),
         {{"all_articles", "showSmartGroup:", "1", cmd, true, boxed(FeedsSmartGroup::all)},
          {"unread_articles", "showSmartGroup:", "2", cmd, true, boxed(FeedsSmartGroup::unread)},
          {"today_articles", "showSmartGroup:", "3", cmd, true, boxed(FeedsSmartGroup::today)},
          {"starred_articles", "showSmartGroup:", "4", cmd, true, boxed(FeedsSmartGroup::starred)},
          separator()}},
        {"FeedsMenuItem", text("FeedsMenuItem", "feeds"),
         {{"refresh_feeds", "refreshFeeds", "r"}, {"next_feed", "showNextFeed", "n"},
          {"previous_feed", "showPreviousFeed", "p"}, separator(), {"add_feed", "addFeed:", "a", cmd | opt}}},
        {"ArticlesMenuItem", text("ArticlesMenuItem", "articles"),
         {{"next_article", "showNextArticle", "j", bare},
          {"previous_article", "showPreviousArticle", "k", bare},
          separator(),
          {"mark_as_unread", "markSelectedArticleAsUnread", "u", bare},
          {"mark_as_starred", "markSelectedArticleAsStarred", "s", bare},
          separator(),
          {"view_in_preview_mode", "setReaderReadMode:", "1", bare, true, boxed(ReaderReadMode::preview)},
          {"view_in_web_mode", "setReaderReadMode:", "2", bare, true, boxed(ReaderReadMode::web)},
          {"view_in_default_browser", "viewSelectedArticleInDefaultBrowser", "3", bare},
          separator(),
          {"show_full_article", "showFullArticle", "f", bare},
          separator(),
          {"show_oldest_unread_first", "showOldestUnreadArticlesFirst", "a", cmd | shift, false, {}, {}, true, oldestFirst},
          {"show_newest_unread_first", "showNewestUnreadArticlesFirst", "s", cmd | shift, false, {}, {}, true, !oldestFirst},
          separator(),
          {"group_by_feed", "toggleGroupArticlesByFeed", "g", cmd | shift, false, {}, {}, true, grouped},
          separator(),
          {"mark_listed_articles_as_read", "articlesMarkAsRead", "a", ctrl},
          {"search_articles", "showArticlesSearchField", "f", cmd | opt}}},
        {"FiltersMenuItem", text("FiltersMenuItem", "filters"),
         {{"all_articles", "setArticlesFilter:", "1", cmd | opt},
          {"unread_articles", "setArticlesFilter:", "2", cmd | opt, false, boxed(ArticlesSourceFilter::unread)},
          {"today_articles", "setArticlesFilter:", "3", cmd | opt, false, boxed(ArticlesSourceFilter::today)},
          {"starred_articles", "setArticlesFilter:", "4", cmd | opt, false, boxed(ArticlesSourceFilter::starred)}}},
        {"WindowMenuItem", text("WindowMenuItem", "window"),
         {{"minimize", "performMiniaturize:", "m"}, {"zoom", "performZoom:"}, separator(),
          {"bring_all_to_front", "arrangeInFront:"}}},
        {"HelpMenuItem", text("HelpMenuItem", "help"),
         {{"tallowmere_website", "openLink:", "", cmd, true, {}, 0}, separator(),
          {"privacy_policy", "openLink:", "", cmd, true, {}, 1}, {"terms_of_service", "openLink:", "", cmd, true, {}, 2}}},
    };
}

QString expectedTitle(const char* table, const Expected& entry) {
    QString title = text(table, entry.titleKey);
    if (std::string_view(table) == "AppMenuItem" && std::string_view(entry.titleKey) != "preferences") {
        title = QString::fromStdString(Localization::format(title.toStdString(), {AppUtils::appName()}));
    }
    return title;
}

// Catches the links handed to the desktop instead of opening a browser.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    LinkCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~LinkCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    std::vector<QString> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url.toString()); }
};

}  // namespace

TEST(MainMenu, EveryEntryOfTheBarInOrder) {
    for (const bool oldestFirst : {true, false}) {
        Preferences::shared()->setShowOldestUnreadArticlesFirst(oldestFirst);
        Preferences::shared()->setGroupArticlesByFeed(!oldestFirst);
        MainMenu bar;
        auto items = bar.items();
        const auto expectedBar = expectedMenuBar(oldestFirst, !oldestFirst);
        // Builds made with the Debug menu have it last.
        if (items.size() == expectedBar.size() + 1) {
            EXPECT_TRUE(dynamic_cast<DebugMenuItem*>(items.back()));
            items.pop_back();
        }
        ASSERT_EQ(items.size(), expectedBar.size());
        EXPECT_EQ(bar.windowMenu(), bar.windowMenuItem().menu());
        EXPECT_EQ(items[7], &bar.windowMenuItem());
        for (std::size_t index = 0; index < items.size(); ++index) {
            const Submenu& submenu = expectedBar[index];
            MenuItem& item = *items[index];
            SCOPED_TRACE(submenu.table);
            EXPECT_EQ(item.menu()->title(), submenu.title);
            const auto& rows = item.rows();
            const auto actions = item.menu()->actions();
            ASSERT_EQ(rows.size(), submenu.entries.size());
            ASSERT_EQ(static_cast<std::size_t>(actions.size()), submenu.entries.size());
            for (std::size_t position = 0; position < rows.size(); ++position) {
                const Expected& entry = submenu.entries[position];
                const MenuRow& row = rows[position];
                QAction* action = actions[static_cast<qsizetype>(position)];
                SCOPED_TRACE(entry.titleKey);
                if (std::string_view(entry.titleKey) == "-") {
                    EXPECT_TRUE(row.separator);
                    EXPECT_TRUE(action->isSeparator());
                    continue;
                }
                EXPECT_EQ(row.titleKey, entry.titleKey);
                EXPECT_EQ(row.selector, entry.selector);
                EXPECT_EQ(row.key, entry.key);
                EXPECT_EQ(row.mask(), entry.mask);
                EXPECT_EQ(row.target == MenuTarget::item, entry.targetsItem);
                EXPECT_EQ(row.representedObject, entry.object);
                EXPECT_EQ(row.tag, entry.tag);
                EXPECT_EQ(row.hasState, entry.hasState);
                EXPECT_EQ(row.on, entry.on);
                // What the desktop shows and matches.
                EXPECT_EQ(action->text().replace(QStringLiteral("&&"), QStringLiteral("&")), expectedTitle(submenu.table, entry));
                EXPECT_EQ(action->shortcut(), KeyEquivalent::sequence(entry.key, entry.mask));
                EXPECT_EQ(action->data(), entry.object);
                EXPECT_EQ(action->isCheckable(), entry.hasState);
                EXPECT_EQ(action->isChecked(), entry.on);
                EXPECT_EQ(action->property("tag").isValid(), entry.tag.has_value());
            }
        }
        // The View submenu ends with a separator.
        EXPECT_TRUE(items[3]->menu()->actions().back()->isSeparator());
    }
}

TEST(MainMenu, KeysOfTheDesktop) {
    constexpr auto command = KeyModifier::command, option = KeyModifier::option, control = KeyModifier::control;
    constexpr auto shiftKey = KeyModifier::shift;
    struct Case {
        std::vector<KeyModifier> flags;
        std::uint32_t mask;
        const char* key;
        QKeySequence sequence;
    };
    const Case cases[] = {
        {{}, 0, "j", QKeySequence(Qt::Key_J)},
        {{command}, cmd, ",", QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {{command, option}, cmd | opt, "a", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A)},
        {{command, shiftKey}, cmd | shift, "c", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
        {{control}, ctrl, "a", QKeySequence(Qt::META | Qt::Key_A)},
        {{option, shiftKey}, opt | shift, "a", QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_A)},
        {{command}, cmd, "", QKeySequence()},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(KeyEquivalent::combinedModifierFlags(item.flags), item.mask);
        EXPECT_EQ(KeyEquivalent::sequence(item.key, item.mask), item.sequence) << item.key;
    }
    // Marking the listed articles read also answers Alt+Shift+A: Meta+A is often the desktop's.
    ArticlesMenuItem articles;
    const auto sequences = articles.actionForSelector("articlesMarkAsRead")->shortcuts();
    EXPECT_EQ(sequences, (QList<QKeySequence>{QKeySequence(Qt::META | Qt::Key_A), QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_A)}));
}

TEST(MainMenu, EveryRoutedEntryReachesTheChainWithItsObject) {
    test::RecordingActionTarget recorder;
    MainMenu bar;
    struct Case {
        std::size_t item;
        const char* selector;
        int nth;
        Action action;
        std::any object;
    };
    const Case cases[] = {
        {1, "importOPML", 0, Action::importOPML, {}},
        {1, "exportOPML", 0, Action::exportOPML, {}},
        {2, "copyArticleURL", 0, Action::copyArticleURL, {}},
        {3, "showSmartGroup:", 0, Action::showSmartGroup, FeedsSmartGroup::all},
        {3, "showSmartGroup:", 3, Action::showSmartGroup, FeedsSmartGroup::starred},
        {4, "refreshFeeds", 0, Action::refreshFeeds, {}},
        {4, "showNextFeed", 0, Action::showNextFeed, {}},
        {4, "showPreviousFeed", 0, Action::showPreviousFeed, {}},
        {4, "addFeed:", 0, Action::addFeed, {}},
        {5, "showNextArticle", 0, Action::showNextArticle, {}},
        {5, "showPreviousArticle", 0, Action::showPreviousArticle, {}},
        {5, "markSelectedArticleAsUnread", 0, Action::markSelectedArticleAsUnread, {}},
        {5, "markSelectedArticleAsStarred", 0, Action::markSelectedArticleAsStarred, {}},
        {5, "setReaderReadMode:", 0, Action::setReaderReadMode, ReaderReadMode::preview},
        {5, "setReaderReadMode:", 1, Action::setReaderReadMode, ReaderReadMode::web},
        {5, "viewSelectedArticleInDefaultBrowser", 0, Action::viewSelectedArticleInDefaultBrowser, {}},
        {5, "showFullArticle", 0, Action::showFullArticle, {}},
        {5, "showOldestUnreadArticlesFirst", 0, Action::showOldestUnreadArticlesFirst, {}},
        {5, "showNewestUnreadArticlesFirst", 0, Action::showNewestUnreadArticlesFirst, {}},
        {5, "toggleGroupArticlesByFeed", 0, Action::toggleGroupArticlesByFeed, {}},
        {5, "articlesMarkAsRead", 0, Action::articlesMarkAsRead, {}},
        {5, "showArticlesSearchField", 0, Action::showArticlesSearchField, {}},
        {6, "setArticlesFilter:", 0, Action::setArticlesFilter, {}},
        {6, "setArticlesFilter:", 1, Action::setArticlesFilter, ArticlesSourceFilter::unread},
        {6, "setArticlesFilter:", 2, Action::setArticlesFilter, ArticlesSourceFilter::today},
        {6, "setArticlesFilter:", 3, Action::setArticlesFilter, ArticlesSourceFilter::starred},
    };
    const auto items = bar.items();
    for (const auto& item : cases) {
        SCOPED_TRACE(std::string(item.selector) + " #" + std::to_string(item.nth));
        QAction* entry = nullptr;
        int seen = 0;
        const auto& rows = items[item.item]->rows();
        for (std::size_t index = 0; index < rows.size(); ++index) {
            if (rows[index].selector == item.selector && seen++ == item.nth) entry = items[item.item]->rowActions()[index];
        }
        ASSERT_NE(entry, nullptr);
        recorder.received.clear();
        entry->trigger();
        ASSERT_EQ(recorder.received.size(), 1u);
        EXPECT_EQ(recorder.received[0].action, item.action);
        const auto& arguments = recorder.received[0].arguments;
        if (const auto* group = std::any_cast<FeedsSmartGroup>(&item.object)) {
            EXPECT_EQ(arguments.first<FeedsSmartGroup>(), *group);
        } else if (const auto* mode = std::any_cast<ReaderReadMode>(&item.object)) {
            EXPECT_EQ(arguments.first<ReaderReadMode>(), *mode);
        } else if (const auto* filter = std::any_cast<ArticlesSourceFilter>(&item.object)) {
            EXPECT_EQ(arguments.first<ArticlesSourceFilter>(), *filter);
        } else {
            // Nothing is sent along: the filter of all articles is none.
            EXPECT_FALSE(arguments.first<ArticlesSourceFilter>());
            EXPECT_FALSE(arguments.first<FeedsSmartGroup>());
        }
    }
}

TEST(MainMenu, ForeignObjectsOrNoReceiverDoNothing) {
    ViewMenuItem view;
    ArticlesMenuItem articles;
    QAction* group = view.rowActions()[0];
    QAction* mode = articles.actionForSelector("setReaderReadMode:");
    {
        test::RecordingActionTarget recorder;
        const QVariant foreign[] = {QVariant(), QVariant(QStringLiteral("all")), QVariant(0),
                                    QVariant::fromValue(ReaderReadMode::web)};
        for (const auto& object : foreign) {
            group->setData(object);
            group->trigger();
        }
        for (const auto& object : {QVariant(), QVariant(1), QVariant::fromValue(FeedsSmartGroup::unread)}) {
            mode->setData(object);
            mode->trigger();
        }
        EXPECT_TRUE(recorder.received.empty());
    }
    // Without a window or delegate behind the bar the commands find no receiver.
    group->setData(QVariant::fromValue(FeedsSmartGroup::today));
    mode->setData(QVariant::fromValue(ReaderReadMode::web));
    group->trigger();
    mode->trigger();
    articles.actionForSelector("showNextArticle")->trigger();
    AppMenuItem app;
    app.actionForSelector("terminate:")->trigger();
    app.actionForSelector("showPreferences")->trigger();
}

TEST(MainMenu, MarksKeepTheirLaunchValues) {
    Preferences::shared()->setShowOldestUnreadArticlesFirst(true);
    Preferences::shared()->setGroupArticlesByFeed(false);
    test::RecordingActionTarget recorder;
    ArticlesMenuItem articles;
    QAction* oldest = articles.actionForSelector("showOldestUnreadArticlesFirst");
    QAction* newest = articles.actionForSelector("showNewestUnreadArticlesFirst");
    QAction* grouped = articles.actionForSelector("toggleGroupArticlesByFeed");
    newest->trigger();
    grouped->trigger();
    Preferences::shared()->setShowOldestUnreadArticlesFirst(false);
    EXPECT_EQ(recorder.lastAction(), Action::toggleGroupArticlesByFeed);
    EXPECT_TRUE(oldest->isChecked());
    EXPECT_FALSE(newest->isChecked());
    EXPECT_FALSE(grouped->isChecked());
}

TEST(MainMenu, EntriesEnabledWhileShownOnlyWithAReceiver) {
    ArticlesMenuItem articles;
    QAction* next = articles.actionForSelector("showNextArticle");
    Q_EMIT articles.menu()->aboutToShow();
    EXPECT_FALSE(next->isEnabled()) << "nobody carries it out";
    Q_EMIT articles.menu()->aboutToHide();
    EXPECT_TRUE(next->isEnabled()) << "a key still reaches the chain";
    test::RecordingActionTarget recorder;
    Q_EMIT articles.menu()->aboutToShow();
    EXPECT_TRUE(next->isEnabled());
    Q_EMIT articles.menu()->aboutToHide();
}

TEST(MainMenu, BracketKeysByTheirText) {
    ArticlesMenuItem articles;
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        std::optional<Action> action;
    };
    const Case cases[] = {
        {Qt::Key_BracketLeft, Qt::NoModifier, "[", Action::showPreviousArticle},
        {Qt::Key_BracketRight, Qt::NoModifier, "]", Action::showNextArticle},
        {Qt::Key_Backslash, Qt::NoModifier, "\\", Action::showArticlesSearchField},
        // Shift and Meta are not looked at; the text decides, whatever key gave it.
        {Qt::Key_BracketRight, Qt::ShiftModifier, "]", Action::showNextArticle},
        {Qt::Key_BracketLeft, Qt::MetaModifier, "[", Action::showPreviousArticle},
        {Qt::Key_5, Qt::GroupSwitchModifier, "[", Action::showPreviousArticle},
        {Qt::Key_BracketLeft, Qt::ControlModifier, "[", std::nullopt},
        {Qt::Key_BracketRight, Qt::AltModifier, "]", std::nullopt},
        {Qt::Key_Backslash, Qt::ControlModifier | Qt::AltModifier, "\\", std::nullopt},
        {Qt::Key_Dead_Circumflex, Qt::NoModifier, "", std::nullopt},
        {Qt::Key_J, Qt::NoModifier, "j", std::nullopt},
        {Qt::Key_BracketLeft, Qt::NoModifier, "[[", std::nullopt},
    };
    for (const auto& item : cases) {
        const QKeyEvent event(QEvent::KeyPress, item.key, item.modifiers, item.text);
        EXPECT_EQ(articles.menuHasKeyEquivalent(event), item.action) << item.text.toStdString();
    }
}

TEST(MainMenu, HelpLinksByTag) {
    LinkCatcher catcher;
    HelpMenuItem help;
    for (QAction* action : help.menu()->actions()) {
        if (!action->isSeparator()) action->trigger();
    }
    EXPECT_EQ(catcher.opened, (std::vector<QString>{QString::fromUtf8(DefaultConfig::websiteURL.data()),
                                                     QString::fromUtf8(DefaultConfig::privacyPolicyURL.data()),
                                                     QString::fromUtf8(DefaultConfig::termsOfServiceURL.data())}));
    // The tag alone picks the link, never the title.
    QAction stranger(QStringLiteral("Privacy Policy"));
    for (const QVariant& tag : {QVariant(3), QVariant(-1), QVariant(), QVariant(QStringLiteral("one"))}) {
        stranger.setProperty("tag", tag);
        help.openLink(&stranger);
    }
    stranger.setProperty("tag", 2);
    help.openLink(&stranger);
    help.openLink(nullptr);
    ASSERT_EQ(catcher.opened.size(), 4u);
    EXPECT_EQ(catcher.opened.back(), QString::fromUtf8(DefaultConfig::termsOfServiceURL.data()));
}

#include "MainMenuTest.moc"
