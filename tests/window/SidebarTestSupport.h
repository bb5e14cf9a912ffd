#pragma once

#include <QBuffer>
#include <QImage>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "feeds/FeedsManager.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/PersistentState.h"
#include "store/Preferences.h"
#include "support/SyncedStoreDouble.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"
#include "window/FeedsViewController.h"
#include "window/GradientView.h"

namespace tallowmere::test {

// A real store in a temporary folder with the sources, settings and state
// the sidebar reads; outlives the sidebars made over it.
class SidebarStore {
public:
    SidebarStore() {
        auto opened = DataController::open(dir.path() / "data" / "Tallowmere.sqlite");
        if (!opened.ok()) throw std::runtime_error(opened.error().message);
        controller = opened.value();
        nodes = NodesSource::make(controller);
        articles = std::make_unique<ArticlesSource>(controller, [this] {
            return std::optional<std::vector<Feed>>(nodes->allFeeds());
        });
        auto stateDefaults = std::make_shared<defaults::UserDefaults>(dir.path() / "state.json");
        state = std::make_shared<PersistentState>(stateDefaults);
        preferences = std::make_shared<Preferences>(
            std::make_shared<defaults::UserDefaults>(dir.path() / "settings.json"), std::make_shared<SyncedStoreDouble>());
    }
    ~SidebarStore() {
        articles.reset();
        nodes.reset();
        dispatch::MainQueue::shared().drain();
    }

    FeedsViewController::Services services(FeedsManager* feedsManager = nullptr) {
        return {nodes, articles.get(), controller, state, preferences, feedsManager};
    }
    // A feeds manager that moves and renames in this store (nothing else
    // of it is set up).
    FeedsManager::Collaborators feedsManagerCollaborators() {
        FeedsManager::Collaborators c;
        c.dataController = controller;
        c.nodes = nodes;
        c.articles = articles.get();
        return c;
    }

    // Lets the main context take in what the background context saved.
    void settle() {
        std::atomic<bool> done = false;
        controller->saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
        waitUntil([&] { return done.load(); }, 5000);
    }

    Folder addFolder(const std::string& name) {
        Folder folder = nodes->addFolder(name);
        settle();
        return folder;
    }
    Feed addFeed(const std::string& name, const std::optional<Folder>& folder = std::nullopt,
                 std::optional<graph::Bytes> icon = std::nullopt) {
        const std::string url = "https://" + QString::fromStdString(name).toLower().remove(' ').toStdString() +
                                std::to_string(++feedNumber) + ".example/feed";
        Feed feed = nodes->addFeed(name, url, std::move(icon),
                                   folder ? std::optional(folder->objectID()) : std::nullopt, false, NewsletterType::none);
        settle();
        return feed;
    }
    void addUnreadArticles(const Feed& feed, int count) {
        graph::Context& background = *controller->backgroundContext();
        background.performAndWait([&] {
            Feed here(background.object(feed.objectID()));
            for (int i = 0; i < count; ++i) {
                Article article = Article::insert(background);
                const std::string link = feed.objectID().uriRepresentation() + "/" + std::to_string(++articleNumber);
                article.setLink(link);
                article.setTitle(link);
                article.setDate(graph::Date::now());
                article.setCreatedAt(graph::Date::now());
                article.setFeed(here);
                article.setUnreadInFeed(here);
                article.setTallowmereHash(static_cast<std::int64_t>(std::hash<std::string>{}(link) | 1));
            }
            (void)background.save();
        });
        settle();
    }
    void remove(const Node& node) {
        std::atomic<bool> done = false;
        nodes->deleteNodes(node, [&] { done = true; });
        waitUntil([&] { return done.load(); }, 5000);
        settle();
    }

    // A small square PNG of one colour, as a feed's stored icon.
    static graph::Bytes pngIcon(const QColor& colour) {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return graph::Bytes(bytes.begin(), bytes.end());
    }

    // The sidebar of the screenshots: three folders, twelve feeds (some with
    // icons, one with icon data that is no image), unread articles.
    void seedTwelveFeeds() {
        Folder tech = addFolder("Tech");
        Folder news = addFolder("News");
        Folder science = addFolder("Science");
        const std::vector<std::pair<std::string, std::optional<Folder>>> feeds = {
            {"Kernel Weekly", tech},  {"Compiler Notes", tech}, {"Open Hardware", tech}, {"Database Digest", tech},
            {"World Report", news},   {"City Desk", news},      {"Morning Brief", news},  {"Orbit Log", science},
            {"Field Journal", science}, {"Garden Diary", std::nullopt}, {"Photo Walk", std::nullopt},
            {"Recipe Box", std::nullopt},
        };
        int n = 0;
        for (const auto& [name, folder] : feeds) {
            std::optional<graph::Bytes> icon;
            if (n % 3 == 0) icon = pngIcon(QColor::fromHsv((n * 40) % 360, 200, 220));
            if (n == 4) icon = graph::Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g'};
            Feed feed = addFeed(name, folder, icon);
            if (n % 4 != 3) addUnreadArticles(feed, 1 + (n * 5) % 17);
            ++n;
        }
    }

    TempDir dir;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> nodes;
    std::unique_ptr<ArticlesSource> articles;
    std::shared_ptr<PersistentState> state;
    std::shared_ptr<Preferences> preferences;
    int feedNumber = 0;
    int articleNumber = 0;
};

}  // namespace tallowmere::test
