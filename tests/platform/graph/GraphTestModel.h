#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/dispatch/MainQueue.h"
#include "platform/graph/Container.h"
#include "platform/graph/ModelDescription.h"
#include "support/TempDir.h"

namespace tallowmere::graph::test {

// A model of the shape the reader stores: Node with Feed and Folder
// children, Article and Tag.
// `grown` adds a later version's attribute and entity.
inline ModelDescription readerModel(bool grown = false) {
    ModelDescription model;
    model.entity("Node")
        .attribute("name", AttributeType::string)
        .attribute("priority", AttributeType::integer16)
        .attribute("sortName", AttributeType::string)
        .attribute("sortValue", AttributeType::integer64)
        .index({"sortName"});
    auto& feed = model.entity("Feed", "Node");
    feed.attribute("url", AttributeType::string)
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("icon", AttributeType::binary)
        .attribute("lastUpdate", AttributeType::date)
        .attribute("notifyUpdates", AttributeType::boolean)
        .orderedToMany("articles", "Article", "feed", DeleteRule::cascade)
        .toOne("folder", "Folder", "feeds")
        .toMany("unreadArticles", "Article", "unreadInFeed")
        .toMany("starredArticles", "Article", "starredInFeed")
        .index({"tallowmereHash"});
    model.entity("Folder", "Node")
        .attribute("closed", AttributeType::boolean)
        .toMany("feeds", "Feed", "folder", DeleteRule::cascade);
    model.entity("Article")
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("title", AttributeType::string)
        .attribute("link", AttributeType::string)
        .attribute("date", AttributeType::date)
        .attribute("readDate", AttributeType::date)
        .attribute("createdAt", AttributeType::date)
        .attribute("score", AttributeType::real)
        .attribute("body", AttributeType::string)
        .loadOnDemand({"body"})
        .toOne("feed", "Feed", "articles")
        .toOne("unreadInFeed", "Feed", "unreadArticles")
        .toOne("starredInFeed", "Feed", "starredArticles")
        .toMany("tags", "Tag", "articles")
        .index({"date"})
        .index({"tallowmereHash"});
    model.entity("Tag").attribute("name", AttributeType::string).toMany("articles", "Article", "tags");
    if (grown) {
        feed.attribute("language", AttributeType::string);
        model.entity("Note").attribute("text", AttributeType::string);
    }
    return model;
}

// A store in a fresh folder with the test thread as the main thread.
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        container = open();
        main = container->mainContext();
    }
    void TearDown() override {
        main.reset();
        container.reset();
        dispatch::MainQueue::shared().drain();
    }
    std::shared_ptr<Container> open(const std::string& name = "store.sqlite") {
        auto opened = Container::open((dir.path() / name).string(), readerModel());
        EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().message);
        return opened.ok() ? opened.value() : nullptr;
    }
    // Runs main-queue blocks until `done` holds.
    bool runMainUntil(const std::function<bool()>& done) { return dispatch::MainQueue::shared().runUntil(done); }

    tallowmere::test::TempDir dir;
    std::shared_ptr<Container> container;
    std::shared_ptr<Context> main;
};

}  // namespace tallowmere::graph::test
