#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CloudSyncManager.h"
#include "images/NodeIcons.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/TempDir.h"
#include "support/ui/UiWait.h"
#include "window/ArticlesViewController.h"
#include "window/ArticlesViewControllerDelegate.h"

namespace tallowmere::test {

// Remembers every selection result the list reports.
class RecordingReader : public ArticlesViewControllerDelegate {
public:
    void didSelectArticle(const std::optional<Article>& article) override { selections.push_back(article); }
    std::vector<std::optional<Article>> selections;
};

// Counts uploads and their flags; completes at once.
class CountingCloudSync : public CloudSyncManager {
public:
    void uploadSyncInfo(bool flag, Completion completion) override {
        flags.push_back(flag);
        ++uploads;
        if (completion) completion();
    }
    void downloadSyncInfo(Completion completion) override {
        if (completion) completion();
    }
    std::atomic<int> uploads = 0;
    std::vector<bool> flags;
};

// A store, article source and search index in a fresh folder, and the
// article list over them.
class ArticlesListTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = DataController::open(dir.path() / "data" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [this] { return allFeeds(); });
        search = std::make_unique<SearchManager>(dir.path() / "Tallowmere.index", controller);
        previousCloud = CloudSyncManager::shared();
        cloud = std::make_shared<CountingCloudSync>();
        CloudSyncManager::setShared(cloud);
        ArticlesViewController::Services services;
        services.source = source.get();
        services.dataController = controller;
        services.searchManager = search.get();
        // Every feed shows the default icon, as a feed without icon data does.
        services.iconSource = [](const Feed&, qreal size) {
            return std::optional<QImage>(NodeIcons::defaultIcon().scaled(QSize(int(size), int(size)), Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation));
        };
        list = std::make_unique<ArticlesViewController>(services);
        list->setDelegate(&reader);
    }
    void TearDown() override {
        list.reset();
        settle();
        search.reset();
        source.reset();
        controller.reset();
        CloudSyncManager::setShared(previousCloud);
    }

    graph::Context& background() { return *controller->backgroundContext(); }

    std::optional<std::vector<Feed>> allFeeds() {
        std::optional<std::vector<Feed>> feeds;
        background().performAndWait([&] {
            auto results = background().fetch(Feed::fetchRequest());
            if (results.ok()) feeds = makeHandles<Feed>(results->all());
        });
        return feeds;
    }

    // Lets the main context take in what was saved, and the list apply it.
    void settle() {
        std::atomic<bool> done = false;
        controller->saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
        ASSERT_TRUE(waitUntil([&] { return done.load(); }));
        for (int round = 0; round < 3; ++round) {
            bool drained = false;
            dispatch::MainQueue::shared().async([&] { drained = true; });
            ASSERT_TRUE(waitUntil([&] { return drained; }));
        }
    }

    Feed makeFeed(const std::string& name) {
        std::optional<Feed> feed;
        background().performAndWait([&] {
            feed = Feed::insert(background());
            feed->setName(name);
            feed->setSortName(name);
            feed->setUrl("https://" + name + ".example/feed");
            EXPECT_TRUE(background().save().ok());
        });
        return *feed;
    }

    struct Seed {
        std::string title;
        double date = 0;
        bool unread = true;
        bool starred = false;
        std::optional<std::string> description = std::nullopt;
    };
    std::vector<Article> makeArticles(const Feed& feed, const std::vector<Seed>& seeds) {
        std::vector<Article> articles;
        background().performAndWait([&] {
            for (const Seed& seed : seeds) {
                Article article = Article::insert(background());
                article.setTitle(seed.title);
                article.setLink("https://example.org/" + seed.title);
                article.setDate(graph::Date{seed.date});
                article.setFeed(feed);
                article.setDescriptionContent(seed.description);
                if (seed.unread) article.setUnreadInFeed(feed);
                if (seed.starred) article.setStarredInFeed(feed);
                article.setTallowmereHash(static_cast<std::int64_t>(std::hash<std::string>{}(seed.title) | 1));
                articles.push_back(article);
            }
            EXPECT_TRUE(background().save().ok());
        });
        return articles;
    }
    // Articles titled "a0".."a<n-1>", "a0" the newest.
    std::vector<Article> makeNumbered(const Feed& feed, int count, double newest = 1'700'000'000) {
        std::vector<Seed> seeds;
        for (int i = 0; i < count; ++i) seeds.push_back({"a" + std::to_string(i), newest - i * 60.0});
        return makeArticles(feed, seeds);
    }

    std::string titleAt(int row) {
        auto article = list->articlesModel()->article(row);
        std::string title;
        if (article) article->context()->performAndWait([&] { title = article->title().value_or(""); });
        return title;
    }
    bool isRead(const Article& article) {
        bool read = false;
        background().performAndWait([&] {
            background().refresh(article.object(), false);
            read = article.isRead();
        });
        return read;
    }

    TempDir dir;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
    std::unique_ptr<SearchManager> search;
    std::shared_ptr<CloudSyncManager> previousCloud;
    std::shared_ptr<CountingCloudSync> cloud;
    RecordingReader reader;
    std::unique_ptr<ArticlesViewController> list;
};

}  // namespace tallowmere::test
