#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <string>

#include "store/Article.h"
#include "store/Feed.h"
#include "store/StoreTestSupport.h"

namespace tallowmere::test {
namespace {

using Texts = std::map<std::string, std::pair<std::string, std::string>>;

// The texts of a store file read with SQLite alone: link -> preview and text.
Texts rawTexts(const std::filesystem::path& path) {
    Texts texts;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(connection,
                           "SELECT a.link, l.previewContent, l.textContent FROM article a JOIN article_large l USING (id)",
                           -1, &query, nullptr);
        auto column = [&](int index) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query, index));
            return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(query, index))) : std::string();
        };
        while (sqlite3_step(query) == SQLITE_ROW) texts[column(0)] = {column(1), column(2)};
        sqlite3_finalize(query);
    }
    sqlite3_close(connection);
    return texts;
}

std::int64_t count(const std::filesystem::path& path, const char* sql) {
    sqlite3* connection = nullptr;
    std::int64_t result = -1;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        if (sqlite3_prepare_v2(connection, sql, -1, &query, nullptr) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
            result = sqlite3_column_int64(query, 0);
        sqlite3_finalize(query);
    }
    sqlite3_close(connection);
    return result;
}

class StoreTextsMigrationTest : public StoreTest {
protected:
    void SetUp() override { dispatch::MainQueue::shared().adoptCurrentThread(); }

    // The texts as the open store reads them: link -> preview and text.
    Texts readTexts() {
        Texts read;
        main().performAndWait([&] {
            auto articles = main().fetch(Article::fetchRequest());
            ASSERT_TRUE(articles.ok());
            for (const auto& object : articles.value()) {
                Article article(object);
                read[article.link().value_or("")] = {article.previewContent().value_or(""), article.textContent().value_or("")};
            }
        });
        return read;
    }
};

// A store written before texts were compressed (one feed of a first start,
// kept as the program left it) is converted when opened: every text reads
// back as it was, and their table shrinks.
TEST_F(StoreTextsMigrationTest, AnOlderStoreKeepsEveryTextAndShrinks) {
    std::filesystem::create_directories(storePath().parent_path());
    std::filesystem::copy_file(fixturePath("store/uncompressed-texts.sqlite"), storePath());
    const auto before = rawTexts(storePath());
    const char* largeBytes = "SELECT sum(pgsize) FROM dbstat WHERE name = 'article_large'";
    const auto sizeBefore = count(storePath(), largeBytes);
    ASSERT_EQ(before.size(), 20u);
    ASSERT_EQ(count(storePath(), "SELECT count(*) FROM article_large WHERE typeof(textContent) = 'blob'"), 0);

    controller = open();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(readTexts() == before);
    controller.reset();

    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article_large WHERE typeof(textContent) = 'text'"), 0);
    EXPECT_LT(count(storePath(), largeBytes), sizeBefore * 3 / 4);
    EXPECT_EQ(count(storePath(), "PRAGMA freelist_count"), 0) << "the freed pages went back to the file system";
    // Opened again, nothing is converted twice and the texts stay.
    controller = open();
    ASSERT_TRUE(controller);
    main().performAndWait([&] {
        auto articles = main().fetch(Article::fetchRequest());
        ASSERT_TRUE(articles.ok());
        std::size_t same = 0;
        for (const auto& object : articles.value()) {
            Article article(object);
            same += before.at(article.link().value_or("")).second == article.textContent().value_or("");
        }
        EXPECT_EQ(same, before.size());
    });
}


// The older forms stay as they are until an article's text is written
// again, which then stores it against the article's markup; every text
// reads back, whichever form it has.
TEST_F(StoreTextsMigrationTest, AnOlderStoresTextsReadBesideRewrittenOnes) {
    std::filesystem::create_directories(storePath().parent_path());
    std::filesystem::copy_file(fixturePath("store/uncompressed-texts.sqlite"), storePath());
    auto expected = rawTexts(storePath());

    controller = open();
    ASSERT_TRUE(controller);
    main().performAndWait([&] {
        auto articles = main().fetch(Article::fetchRequest());
        ASSERT_TRUE(articles.ok());
        ASSERT_FALSE(articles->empty());
        Article article(articles->front());
        const std::string longer = article.textContent().value_or("") + "\n\nA paragraph the page had beside the feed's.";
        article.setTextContent(longer);
        expected[article.link().value_or("")].second = longer;
        ASSERT_TRUE(main().save().ok());
    });
    controller.reset();
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article_large WHERE substr(textContent, 1, 1) = x'02'"), 1);
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article_large WHERE substr(textContent, 1, 1) = x'01'"),
              static_cast<std::int64_t>(expected.size()) - 1);

    controller = open();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(readTexts() == expected);
}


// A store whose article list indexes held the read state (as files made
// before marking many articles read got cheaper) gets the present indexes
// when opened, and keeps every article with its read state.
TEST_F(StoreTextsMigrationTest, AnOlderStoreWithReadStateInTheListIndexesKeepsEveryArticle) {
    controller = open();
    ASSERT_TRUE(controller);
    main().performAndWait([&] {
        Feed feed = Feed::insert(main());
        for (int i = 0; i < 10; ++i) {
            Article article = Article::insert(main());
            article.setFeed(feed);
            article.setDate(graph::Date{100.0 + i});
            if (i % 2) article.setReadDate(graph::Date{500.0 + i});
            else article.setUnreadInFeed(feed);
        }
        ASSERT_TRUE(main().save().ok());
    });
    controller.reset();
    {
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(storePath().c_str(), &connection), SQLITE_OK);
        const char* older =
            "BEGIN;"
            "DROP INDEX ix_article_date_starredInFeed_id_feed_id;"
            "DROP INDEX ix_article_feed_id_date_starredInFeed_id;"
            "DROP INDEX ix_article_date_feed_id_starredInFeed_id_unreadInFeed_id_where_unreadInFeed_id;"
            "DROP INDEX ix_article_feed_id_date_starredInFeed_id_unreadInFeed_id_where_unreadInFeed_id;"
            "DROP INDEX ix_article_readDate_where_readDate;"
            "CREATE INDEX ix_article_date_unreadInFeed_id_readDate_starredInFeed_id_feed_id "
            "ON article(date, unreadInFeed_id, readDate, starredInFeed_id, feed_id);"
            "CREATE INDEX ix_article_feed_id_date_unreadInFeed_id_readDate_starredInFeed_id "
            "ON article(feed_id, date, unreadInFeed_id, readDate, starredInFeed_id);"
            "COMMIT;";
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(connection, older, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(connection);
    }

    controller = open();
    ASSERT_TRUE(controller);
    controller.reset();
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM sqlite_schema WHERE name LIKE 'ix_article_%readDate_starred%'"), 0);
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM sqlite_schema WHERE name = "
                                 "'ix_article_date_feed_id_starredInFeed_id_unreadInFeed_id_where_unreadInFeed_id' "
                                 "AND sql LIKE '% IS NOT NULL'"),
              1);
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article"), 10);
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article WHERE unreadInFeed_id IS NOT NULL AND readDate IS NULL"), 5);
    EXPECT_EQ(count(storePath(), "SELECT count(*) FROM article WHERE unreadInFeed_id IS NULL AND readDate >= 500"), 5);
}

}  // namespace
}  // namespace tallowmere::test
