#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "StoreTestSupport.h"
#include "platform/graph/ObjectsDidChangeCenter.h"
#include "store/Article.h"
#include "store/Feed.h"

namespace tallowmere {
namespace {

class ObjectsDidChangeTest : public test::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        token = graph::ObjectsDidChangeCenter::shared().addListener([this](const graph::ObjectsDidChange& changes) {
            std::lock_guard lock(mutex);
            posts.push_back(changes);
        });
    }
    void TearDown() override {
        graph::ObjectsDidChangeCenter::shared().removeListener(token);
        StoreTest::TearDown();
    }
    // The changed keys of the object in every post so far.
    std::vector<std::vector<std::string>> keysOf(const graph::ObjectID& id) {
        std::lock_guard lock(mutex);
        std::vector<std::vector<std::string>> result;
        for (const auto& post : posts)
            for (const auto& [updated, keys] : post.updated)
                if (updated == id) result.push_back(keys);
        return result;
    }

    std::mutex mutex;
    std::vector<graph::ObjectsDidChange> posts;
    graph::ObjectsDidChangeCenter::Token token = 0;
};

TEST_F(ObjectsDidChangeTest, SavesAndMergesOfEveryContextArePostedWithTheirChangedKeys) {
    graph::ObjectID id;
    main().performAndWait([&] {
        auto feed = Feed::insert(main());
        feed.setName("Feed");
        feed.setUrl("https://feed.example/rss");
        auto article = Article::insert(main());
        article.setFeed(feed);
        article.setTitle("Title");
        ASSERT_TRUE(main().save().ok());
        id = article.objectID();
    });
    {
        std::lock_guard lock(mutex);
        ASSERT_FALSE(posts.empty());
        EXPECT_EQ(posts.front().inserted.size(), 2u);
    }
    background().performAndWait([&] {
        const Article there(background().existingObject(id).value());
        there.setStarredInFeed(there.feed());
        ASSERT_TRUE(background().save().ok());
    });
    // The background context's save, then the main context's merge of it.
    ASSERT_TRUE(runMainUntil([&] { return keysOf(id).size() >= 2; }));
    for (const auto& keys : keysOf(id)) EXPECT_EQ(keys, std::vector<std::string>{Article::Key::starredInFeed});

    graph::ObjectsDidChangeCenter::shared().removeListener(token);
    const std::size_t seen = keysOf(id).size();
    main().performAndWait([&] {
        Article(main().existingObject(id).value()).setTitle("Another");
        ASSERT_TRUE(main().save().ok());
    });
    EXPECT_EQ(keysOf(id).size(), seen);
}

}  // namespace
}  // namespace tallowmere
