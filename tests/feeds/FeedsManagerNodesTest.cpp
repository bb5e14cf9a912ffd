#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feeds/FeedsManagerFixture.h"

namespace tallowmere::test {
namespace {

TEST_F(FeedsManagerTest, DeletingAFolderTakesItsFeedsArticlesAndSearchDocuments) {
    for (const char* name : {"one.xml", "two.xml", "other.xml"}) {
        ServedFeed feed = servedFeed(name, servedItems(std::string(name).substr(0, 3), 3));
        for (ServedItem& item : feed.items) item.text = std::string("Paragraph about ") + (name[0] == 'o' && name[1] == 't' ? "otters" : "folders");
        server->setFeed(name, feed);
    }
    ASSERT_EQ(addAndWait(server->feedURL("one.xml"), "Tech"), std::nullopt);
    ASSERT_EQ(addAndWait(server->feedURL("two.xml"), "tech"), std::nullopt);
    ASSERT_EQ(addAndWait(server->feedURL("other.xml")), std::nullopt);
    waitForArticleQueue();
    ASSERT_EQ(searchIDs("folders").size(), 6u);

    std::optional<Folder> folder = nodes->folder("TECH");
    ASSERT_TRUE(folder);
    const int compactionsBefore = search->compactions.load();
    manager->deleteNode(*folder, true);
    ASSERT_TRUE(runMainUntil([&] { return nodes->allFeeds().size() == 1; }));

    EXPECT_FALSE(nodes->folder("Tech"));
    EXPECT_FALSE(storedFeed(server->feedURL("one.xml")));
    EXPECT_FALSE(storedFeed(server->feedURL("two.xml")));
    EXPECT_EQ(search->compactions.load() - compactionsBefore, 1);
    EXPECT_EQ(search->removals.load(), 6);
    waitForSearchQueue();
    EXPECT_TRUE(searchIDs("folders").empty());
    EXPECT_EQ(searchIDs("otters").size(), 3u);
    auto remaining = inBackground<std::size_t>([&] {
        auto count = dataController->backgroundContext()->count(Article::fetchRequest());
        return count.ok() ? count.value() : 0;
    });
    EXPECT_EQ(remaining, 3u);
}

TEST_F(FeedsManagerTest, DeleteFeedPrefersTheExactAddress) {
    for (const char* name : {"feed.xml.old", "feed.xml"}) {
        server->setFeed(name, servedFeed(name, servedItems(name, 1)));
        ASSERT_EQ(addAndWait(server->feedURL(name)), std::nullopt);
    }
    // The shorter address also begins the longer one, which was stored first.
    manager->deleteFeed(server->feedURL("FEED.XML"));
    ASSERT_TRUE(runMainUntil([&] { return nodes->allFeeds().size() == 1; }));
    EXPECT_TRUE(storedFeed(server->feedURL("feed.xml.old")));

    // Without an exact match the prefix decides.
    manager->deleteFeed(server->feedURL("feed.x"));
    ASSERT_TRUE(runMainUntil([&] { return nodes->allFeeds().empty(); }));
    manager->deleteFeed(server->feedURL("nothing"));
}

TEST_F(FeedsManagerTest, FoldersAreFoundOrMadeAndNodesRenamedAndMoved) {
    manager->folder("Reading");
    manager->folder("READING");
    EXPECT_EQ(nodes->allFolderNames(), std::vector<std::string>{"Reading"});

    server->setFeed("a.xml", servedFeed("A", servedItems("a", 1)));
    ASSERT_EQ(addAndWait(server->feedURL("a.xml")), std::nullopt);
    std::optional<Feed> feed = storedFeed(server->feedURL("a.xml"));
    ASSERT_TRUE(feed);
    manager->rename(*feed, "Renamed");
    EXPECT_EQ(inBackground<std::string>([&] { return feed->name().value_or(""); }), "Renamed");

    std::optional<Folder> folder = nodes->folder("reading");
    ASSERT_TRUE(folder);
    const graph::ObjectID feedID = inBackground<graph::ObjectID>([&] { return feed->objectID(); });
    const graph::ObjectID folderID = inBackground<graph::ObjectID>([&] { return folder->objectID(); });
    EXPECT_TRUE(manager->move(feedID, folderID, 0, true));
    std::optional<Feed> moved = storedFeed(server->feedURL("a.xml"));
    dataController->backgroundContext()->performAndWait([&] { dataController->backgroundContext()->refresh(moved->object(), false); });
    EXPECT_EQ(inBackground<std::string>([&] {
                  auto parent = moved->folder();
                  return parent ? parent->name().value_or("") : std::string();
              }),
              "Reading");
}

}  // namespace
}  // namespace tallowmere::test
