#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "ArticlesTestSupport.h"
#include "foundation/HTMLText.h"
#include "foundation/URLIdentityHash.h"
#include "store/Tag.h"

using namespace tallowmere;
using graph::Date;
using test::daysAgo;

namespace {

class ArticlesStoringTest : public test::ArticlesStoreTest {
protected:
    std::optional<Article> add(const Feed& feed, const std::string& link, Date date, bool ignoringLastUpdate = false,
                               const std::string& content = "<p>Body</p>") {
        return source->addArticle("Title", date, content, std::nullopt, link, std::nullopt, feed.objectID(),
                                  ignoringLastUpdate);
    }
    // The completion runs on the background context's queue after a deletion.
    std::vector<Article> removeOld() {
        std::vector<Article> removed;
        std::atomic<int> calls = 0;
        source->removeOldArticles([&](std::vector<Article> articles) {
            removed = std::move(articles);
            ++calls;
        });
        EXPECT_TRUE(runMainUntil([&] { return calls.load() > 0; }));
        settleMain();
        EXPECT_EQ(calls.load(), 1);
        return removed;
    }
    std::size_t articleCount(const Feed& feed) {
        std::size_t count = 0;
        background().performAndWait([&] { count = feed.articleCount(); });
        return count;
    }
};

TEST_F(ArticlesStoringTest, RefusesItemsThatAreNotNew) {
    const Date lastUpdate = daysAgo(2);
    Feed feed = makeFeed("news", lastUpdate);
    Feed other = makeFeed("other", lastUpdate);
    Article existing = makeArticle(feed, "https://news.example/stored", daysAgo(1));

    struct Case {
        const char* what;
        const Feed* feed;
        std::string link;
        Date date;
        bool ignoringLastUpdate;
        bool stored;
    };
    const std::vector<Case> cases = {
        {"dated at the last update", &feed, "https://news.example/a", lastUpdate, false, false},
        {"dated before the last update", &feed, "https://news.example/b", daysAgo(3), false, false},
        {"pushed with an old date and a new link", &feed, "https://news.example/b", daysAgo(3), true, true},
        {"dated after the last update", &feed, "https://news.example/c", daysAgo(1), false, true},
        {"its link already stored for the feed", &feed, "https://news.example/stored", daysAgo(1), false, false},
        {"pushed, link already stored", &feed, "https://news.example/stored", daysAgo(1), true, false},
        {"added moments ago, not saved yet", &feed, "https://news.example/c", daysAgo(1), true, false},
        {"the same link in another feed", &other, "https://news.example/stored", daysAgo(1), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(add(*c.feed, c.link, c.date, c.ignoringLastUpdate).has_value(), c.stored);
    }
    // An ID that is no feed, and a deleted feed.
    EXPECT_FALSE(source->addArticle("t", daysAgo(1), "", std::nullopt, "https://x.example/1", std::nullopt,
                                    existing.objectID(), true));
    background().performAndWait([&] {
        background().deleteObject(other.object());
        ASSERT_TRUE(background().save().ok());
    });
    EXPECT_FALSE(add(other, "https://news.example/new", Date::now(), true));
}

TEST_F(ArticlesStoringTest, StoredFields) {
    Feed feed = makeFeed("news");
    const Date before = Date::now();
    std::string longText;
    for (int i = 0; i < 190; ++i) longText += 'a';
    const std::string content = "<p>" + longText + " <a href=\"https://news.example/a/long/path\">link text</a> and "
                                "more</p><script>x()</script>";
    auto future = source->addArticle("<b>Bold</b> &amp; plain", Date{before.seconds + 86400}, content, "Writer",
                                     "https://News.example:8080/Path?q=1", "https://news.example/top.png",
                                     feed.objectID(), false);
    ASSERT_TRUE(future);
    const Date after = Date::now();
    background().performAndWait([&] {
        EXPECT_EQ(future->title(), strippingHTML("<b>Bold</b> &amp; plain", false));
        // A future date becomes now plus less than a second.
        ASSERT_TRUE(future->date());
        EXPECT_GE(future->date()->seconds, before.seconds);
        EXPECT_LE(future->date()->seconds, after.seconds + 1.0);
        ASSERT_TRUE(future->createdAt());
        EXPECT_GE(future->createdAt()->seconds, before.seconds);
        EXPECT_EQ(future->previewContent(), content);
        EXPECT_EQ(future->textContent(), strippingHTML(content, true));
        EXPECT_NE(future->textContent()->find("<a href="), std::string::npos);
        // Stripped before it is cut: no piece of the link's tag remains.
        const std::string description = *future->descriptionContent();
        EXPECT_EQ(description, strippingHTML(*future->textContent(), false).substr(0, 200));
        EXPECT_EQ(description.find('<'), std::string::npos);
        EXPECT_EQ(future->creator(), "Writer");
        EXPECT_EQ(future->link(), "https://News.example:8080/Path?q=1");
        EXPECT_EQ(future->topImage(), "https://news.example/top.png");
        EXPECT_EQ(future->feed(), feed);
        EXPECT_EQ(future->unreadInFeed(), feed);
        EXPECT_FALSE(future->starredInFeed());
        EXPECT_FALSE(future->readDate());
        EXPECT_EQ(future->tallowmereHash(), URLIdentityHash::hash("https://News.example:8080/Path?q=1"));
        EXPECT_NE(future->tallowmereHash(), 0);
        EXPECT_FALSE(future->objectID().isTemporary());
    });

    // A past date is kept, plus a fraction of a second; a link that is no URL hashes to 0.
    const Date past = daysAgo(3);
    // Two hundred user-perceived characters, each a letter with a combining accent.
    std::string accented;
    for (int i = 0; i < 250; ++i) accented += "e\u0301";
    auto old = add(feed, "not a url", past, false, accented);
    ASSERT_TRUE(old);
    background().performAndWait([&] {
        EXPECT_GE(old->date()->seconds, past.seconds);
        EXPECT_LE(old->date()->seconds, past.seconds + 1.0);
        EXPECT_EQ(old->tallowmereHash(), 0);
        std::string expected;
        for (int i = 0; i < 200; ++i) expected += "e\u0301";
        EXPECT_EQ(old->descriptionContent(), expected);
    });
}

TEST_F(ArticlesStoringTest, SameDatesGetDistinctStoredDates) {
    Feed feed = makeFeed("news");
    const Date date = daysAgo(1);
    std::set<double> stored;
    for (int i = 0; i < 20; ++i) {
        auto article = add(feed, "https://news.example/" + std::to_string(i), date);
        ASSERT_TRUE(article);
        background().performAndWait([&] { stored.insert(article->date()->seconds); });
    }
    EXPECT_GT(stored.size(), 15u);
}

// Removal: 30 calendar days, 50 kept per feed, starred never removed.
TEST_F(ArticlesStoringTest, RemovesTheOldestUnstarredBeyondFiftyPerFeed) {
    using Seed = test::ArticlesStoreTest::ArticleSeed;
    auto seeds = [](const std::string& prefix, int count, double storedDaysAgo, int firstDay, bool starred = false,
                    bool withCreation = true) {
        std::vector<Seed> result;
        for (int i = 0; i < count; ++i) {
            Seed seed{prefix + std::to_string(i), daysAgo(firstDay + i)};
            seed.createdAt = withCreation ? std::optional(daysAgo(storedDaysAgo)) : std::nullopt;
            seed.starred = starred;
            result.push_back(seed);
        }
        return result;
    };
    // 80 articles, 40 stored more than 30 days ago, none starred: the 30 oldest of those 40 go.
    Feed eighty = makeFeed("eighty");
    makeArticles(eighty, seeds("new", 40, 2, 0));
    makeArticles(eighty, seeds("old", 40, 31, 100));
    // Exactly 50, all old: none goes.
    Feed fifty = makeFeed("fifty");
    makeArticles(fifty, seeds("fifty", 50, 60, 0));
    // 70 old, 20 of them starred and oldest: the limit is 20, taken from the unstarred only.
    Feed starred = makeFeed("starred");
    makeArticles(starred, seeds("kept", 20, 90, 500, true));
    makeArticles(starred, seeds("plain", 50, 90, 0));
    // 55 without a storage date count as old.
    Feed undated = makeFeed("undated");
    makeArticles(undated, seeds("undated", 55, 0, 0, false, false));

    const auto removed = removeOld();
    std::set<std::string> removedLinks;
    background().performAndWait([&] {
        for (const Article& article : removed) removedLinks.insert(*article.link());
    });
    std::set<std::string> expected;
    for (int i = 10; i < 40; ++i) expected.insert("old" + std::to_string(i));
    for (int i = 30; i < 50; ++i) expected.insert("plain" + std::to_string(i));
    for (int i = 50; i < 55; ++i) expected.insert("undated" + std::to_string(i));
    EXPECT_EQ(removedLinks, expected);
    EXPECT_EQ(articleCount(eighty), 50u);
    EXPECT_EQ(articleCount(fifty), 50u);
    EXPECT_EQ(articleCount(starred), 50u);
    EXPECT_EQ(articleCount(undated), 50u);
    background().performAndWait([&] { EXPECT_EQ(starred.starredCount(), 20u); });

    // A second run finds nothing more to remove.
    EXPECT_TRUE(removeOld().empty());
}

TEST_F(ArticlesStoringTest, RemovalWithChangesPendingAsksFeedByFeedAlike) {
    Feed feed = makeFeed("news");
    std::vector<test::ArticlesStoreTest::ArticleSeed> seeds;
    for (int i = 0; i < 60; ++i) seeds.push_back({"x" + std::to_string(i), daysAgo(100 + i), daysAgo(100)});
    makeArticles(feed, seeds);
    background().performAndWait([&] { Tag::insert(background()).setName("pending"); });
    std::set<std::string> removedLinks;
    const auto removed = removeOld();
    background().performAndWait([&] {
        for (const Article& article : removed) removedLinks.insert(*article.link());
    });
    std::set<std::string> expected;
    for (int i = 50; i < 60; ++i) expected.insert("x" + std::to_string(i));
    EXPECT_EQ(removedLinks, expected);
    EXPECT_EQ(articleCount(feed), 50u);
}

TEST_F(ArticlesStoringTest, RemovalWithoutLoadedFeedsDeletesNothing) {
    Feed feed = makeFeed("news");
    makeArticles(feed, std::vector<test::ArticlesStoreTest::ArticleSeed>(60, {"x", daysAgo(100), daysAgo(100)}));
    ArticlesSource unloaded(controller, [] { return std::optional<std::vector<Feed>>(); });
    std::optional<std::vector<Article>> removed;
    unloaded.removeOldArticles([&](std::vector<Article> articles) { removed = std::move(articles); });
    ASSERT_TRUE(runMainUntil([&] { return removed.has_value(); }));
    EXPECT_TRUE(removed->empty());
    EXPECT_EQ(articleCount(feed), 60u);
}

}  // namespace
