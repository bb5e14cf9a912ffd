#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/graph/Value.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/TempDir.h"

namespace tallowmere::test {

// A stand-in identity hash for the test articles: never 0.
inline std::int64_t hashOf(const std::string& link) {
    return static_cast<std::int64_t>(std::hash<std::string>{}(link) | 1);
}

// A store in a fresh folder, the test thread as the main thread, and an
// article source over them whose "all feeds" are the stored feeds.
class ArticlesStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "data" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [this] { return allFeeds(); });
    }
    void TearDown() override {
        source.reset();
        dispatch::MainQueue::shared().drain();
        controller.reset();
    }

    graph::Context& main() { return *controller->mainContext(); }
    graph::Context& background() { return *controller->backgroundContext(); }
    bool runMainUntil(const std::function<bool()>& done) { return dispatch::MainQueue::shared().runUntil(done); }
    // Lets the main context take in what other contexts saved.
    void settleMain() {
        std::atomic<bool> done = false;
        controller->saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
        runMainUntil([&] { return done.load(); });
        dispatch::MainQueue::shared().drain();
    }

    std::optional<std::vector<Feed>> allFeeds() {
        std::optional<std::vector<Feed>> feeds;
        background().performAndWait([&] {
            auto request = Feed::fetchRequest();
            request.sortDescriptors = {{Node::Key::sortName, true, true}};
            auto results = background().fetch(request);
            if (results.ok()) feeds = makeHandles<Feed>(results->all());
        });
        return feeds;
    }

    // A saved feed of the background context.
    Feed makeFeed(const std::string& name, std::optional<graph::Date> lastUpdate = std::nullopt,
                  const std::optional<Folder>& folder = std::nullopt) {
        std::optional<Feed> feed;
        background().performAndWait([&] {
            feed = Feed::insert(background());
            feed->setName(name);
            feed->setSortName(name);
            feed->setUrl("https://" + name + ".example/feed");
            feed->setLastUpdate(lastUpdate);
            if (folder) feed->setFolder(folder);
            EXPECT_TRUE(background().save().ok());
        });
        return *feed;
    }

    struct ArticleSeed {
        std::string link;
        graph::Date date;
        std::optional<graph::Date> createdAt = graph::Date::now();
        bool unread = true;
        bool starred = false;
        std::optional<graph::Date> readDate = std::nullopt;
    };
    // Saved articles of the background context, written field by field.
    std::vector<Article> makeArticles(const Feed& feed, const std::vector<ArticleSeed>& seeds);
    Article makeArticle(const Feed& feed, const std::string& link, graph::Date date) {
        return makeArticles(feed, {{link, date}}).front();
    }

    // The main context's object of a background object.
    Article onMain(const Article& article) { return *source->article(article.objectID()); }
    template <typename Handle>
    Handle mainHandle(const Handle& handle) {
        std::optional<Handle> result;
        main().performAndWait([&] { result = Handle(main().existingObject(handle.objectID()).value()); });
        return *result;
    }
    // The rows of the list as links.
    std::vector<std::string> listedLinks();

    TempDir dir;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
};

inline std::vector<Article> ArticlesStoreTest::makeArticles(const Feed& feed, const std::vector<ArticleSeed>& seeds) {
    std::vector<Article> articles;
    background().performAndWait([&] {
        for (const ArticleSeed& seed : seeds) {
            Article article = Article::insert(background());
            article.setLink(seed.link);
            article.setTitle(seed.link);
            article.setDate(seed.date);
            article.setCreatedAt(seed.createdAt);
            article.setFeed(feed);
            if (seed.unread) article.setUnreadInFeed(feed);
            if (seed.starred) article.setStarredInFeed(feed);
            article.setReadDate(seed.readDate);
            article.setTallowmereHash(hashOf(seed.link));
            articles.push_back(article);
        }
        EXPECT_TRUE(background().save().ok());
    });
    return articles;
}

inline std::vector<std::string> ArticlesStoreTest::listedLinks() {
    std::vector<std::string> links;
    for (std::size_t row = 0; row < source->numberOfArticles(); ++row) {
        main().performAndWait([&] { links.push_back(source->article(row)->link().value_or("")); });
    }
    return links;
}

// Seconds since 1970 for "now minus days".
inline graph::Date daysAgo(double days) { return graph::Date{graph::Date::now().seconds - days * 86400.0}; }

}  // namespace tallowmere::test
