#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graph/StoreRecovery.h"
#include "store/Article.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/StoredModel.h"
#include "store/StoreTestSupport.h"
#include "support/FileDamage.h"
#include "support/LogCapture.h"

namespace tallowmere::test {
namespace {

constexpr std::uint32_t kDamageSeed = 20261210;

// The file's pages that hold rows of the table, in file order.
std::vector<std::uintmax_t> tablePages(const std::filesystem::path& path, const std::string& table) {
    std::vector<std::uintmax_t> pages;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(connection, "SELECT pageno FROM dbstat WHERE name = ?1 AND pagetype = 'leaf' ORDER BY pageno",
                           -1, &query, nullptr);
        sqlite3_bind_text(query, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(query) == SQLITE_ROW) pages.push_back(static_cast<std::uintmax_t>(sqlite3_column_int64(query, 0)));
        sqlite3_finalize(query);
    }
    sqlite3_close(connection);
    return pages;
}

// What a store held, as the checks below compare it.
struct Contents {
    std::map<std::string, std::string> folderOfFeed;  // url -> folder name ("" at the top)
    std::map<std::string, std::int64_t> sortValues;   // node name -> sort value
    std::set<std::string> folders;
    std::set<std::string> starred;                    // links
    std::map<std::string, bool> readByLink;
    std::string storeIdentifier;
};

// 600 letters that hardly compress, so that the articles' texts take as much
// of the file as real ones do, which the damages below count on.
std::string scatteredText(int seed) {
    std::mt19937 generator(static_cast<std::uint32_t>(seed));
    std::string text(600, 'a');
    for (char& letter : text) letter = static_cast<char>('a' + generator() % 26);
    return text;
}

class StoreRecoveryTest : public StoreTest {
protected:
    static constexpr int feedCount = 8;
    static constexpr int starredPerFeed = 3;
    static constexpr int articlesPerFeed = 150;

    // Folders and feeds first, then the starred articles, then many plain
    // ones: the article table grows in that order, so damage in its middle
    // strikes plain articles.
    void fillStore() {
        main().performAndWait([&] {
            std::vector<Folder> folders;
            for (int index = 0; index < 3; ++index) {
                auto folder = Folder::insert(main());
                folder.setName("Folder " + std::to_string(index));
                folder.setSortValue(index + 1);
                folders.push_back(folder);
            }
            for (int index = 0; index < feedCount; ++index) {
                auto feed = Feed::insert(main());
                feed.setName("Feed " + std::to_string(index));
                feed.setUrl("https://site" + std::to_string(index) + ".example/feed.xml");
                feed.setSortValue(10 + index);
                if (index % 2 == 0) feed.setFolder(folders[static_cast<std::size_t>(index / 2 % 3)]);
                feed.updateSortName();
            }
        });
        saveAndWait();
        addArticles(0, starredPerFeed, true);
        for (int first = starredPerFeed; first < articlesPerFeed; first += 50)
            addArticles(first, std::min(first + 50, articlesPerFeed), false);
    }

    void addArticles(int first, int last, bool starred) {
        main().performAndWait([&] {
            auto feeds = main().fetch(Feed::fetchRequest());
            for (const auto& object : feeds.value()) {
                Feed feed(object);
                for (int index = first; index < last; ++index) {
                    auto article = Article::insert(main());
                    article.setTitle("Article " + std::to_string(index));
                    article.setLink(*feed.url() + "/" + std::to_string(index));
                    article.setTextContent(scatteredText(index));
                    article.setFeed(feed);
                    if (starred) article.setStarredInFeed(feed);
                    if (index % 3 == 0) {
                        article.setReadDate(graph::Date{1700000000.0 + index});
                    } else {
                        article.setUnreadInFeed(feed);
                    }
                }
            }
        });
        saveAndWait();
    }

    Contents contents() {
        Contents seen;
        seen.storeIdentifier = controller->persistentContainer().storeIdentifier();
        main().performAndWait([&] {
            auto folders = main().fetch(Folder::fetchRequest());
            for (const auto& object : folders.value()) {
                Folder folder(object);
                seen.folders.insert(folder.name().value_or(""));
                seen.sortValues[folder.name().value_or("")] = folder.sortValue();
            }
            auto storedFeeds = main().fetch(Feed::fetchRequest());
            for (const auto& object : storedFeeds.value()) {
                Feed feed(object);
                seen.folderOfFeed[feed.url().value_or("")] = feed.folder() ? feed.folder()->name().value_or("") : "";
                seen.sortValues[feed.name().value_or("")] = feed.sortValue();
            }
            auto articles = main().fetch(Article::fetchRequest());
            for (const auto& object : articles.value()) {
                Article article(object);
                const std::string link = article.link().value_or("");
                if (article.isStarred()) seen.starred.insert(link);
                seen.readByLink[link] = article.isRead();
            }
        });
        return seen;
    }

    void closeStore() {
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
};

struct Damage {
    const char* name;
    // Spoils the closed store file.
    std::function<void(const std::filesystem::path&)> apply;
    bool keepsFeedsFoldersAndStarred;
    bool keepsEveryArticle;
};

// 24 KB of the article table's middle, as many pages as that takes: plain
// articles are lost, the schema and the first rows stay readable.
void randomiseMiddleArticlePages(const std::filesystem::path& path) {
    constexpr std::uintmax_t page = 8192;  // the store's page size
    constexpr std::size_t damagedPages = 24 * 1024 / page;
    const auto pages = tablePages(path, "article");
    ASSERT_GT(pages.size(), 2 * damagedPages + 2);
    for (std::size_t at = pages.size() / 2; at < pages.size() / 2 + damagedPages; ++at)
        randomise(path, (pages[at] - 1) * page, page, kDamageSeed + static_cast<std::uint32_t>(at));
}

TEST_F(StoreRecoveryTest, ADamagedStoreIsSetAsideAndWhatCanBeReadIsCarriedOver) {
    constexpr std::uintmax_t page = 8192;  // the store's page size
    const std::vector<Damage> damages = {
        {"header overwritten", [](const auto& path) { randomise(path, 0, 100, kDamageSeed); }, true, true},
        {"article pages in the middle randomised", randomiseMiddleArticlePages, true, false},
        {"truncated",
         [](const auto& path) { std::filesystem::resize_file(path, std::filesystem::file_size(path) * 6 / 10 / page * page); },
         true, false},
        {"zero length", [](const auto& path) { std::filesystem::resize_file(path, 0); }, false, false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::filesystem::remove_all(storePath().parent_path());
        controller = open();
        ASSERT_TRUE(controller);
        fillStore();
        const Contents before = contents();
        ASSERT_EQ(before.starred.size(), static_cast<std::size_t>(feedCount * starredPerFeed));
        closeStore();
        ASSERT_FALSE(std::filesystem::exists(storePath().string() + "-wal")) << "closing folds the log in";
        damage.apply(storePath());
        const std::string damagedBytes = readBytes(storePath());

        LogCapture log;
        controller = open();
        ASSERT_TRUE(controller) << "a damaged store never stops the program";
        const auto report = controller->storeRecovery();
        ASSERT_TRUE(report);
        EXPECT_FALSE(report->reason.empty());
        EXPECT_EQ(readBytes(report->movedAsideTo), damagedBytes) << "the damaged file is kept, unchanged";
        EXPECT_EQ(std::filesystem::path(report->movedAsideTo).parent_path(), storePath().parent_path());
        EXPECT_FALSE(std::filesystem::exists(report->movedAsideTo + ".salvage"));
        EXPECT_TRUE(controller->takeStoreRecovery());
        EXPECT_FALSE(controller->storeRecovery()) << "the window tells the user once";
        const auto lines = log.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find("damaged store kept as " + report->movedAsideTo), std::string::npos) << lines.back();

        const Contents after = contents();
        if (damage.keepsFeedsFoldersAndStarred) {
            EXPECT_EQ(after.folders, before.folders);
            EXPECT_EQ(after.folderOfFeed, before.folderOfFeed);
            EXPECT_EQ(after.sortValues, before.sortValues);
            EXPECT_EQ(after.starred, before.starred);
            EXPECT_EQ(after.storeIdentifier, before.storeIdentifier) << "saved object URIs stay valid";
            EXPECT_GT(after.readByLink.size(), before.readByLink.size() / 2);
            for (const auto& [link, read] : after.readByLink) {
                ASSERT_TRUE(before.readByLink.count(link)) << link;
                EXPECT_EQ(read, before.readByLink.at(link)) << link;
            }
        } else {
            EXPECT_TRUE(after.folderOfFeed.empty());
            EXPECT_TRUE(after.readByLink.empty());
        }
        if (damage.keepsEveryArticle) {
            EXPECT_EQ(after.readByLink, before.readByLink);
        } else if (damage.keepsFeedsFoldersAndStarred) {
            EXPECT_LT(after.readByLink.size(), before.readByLink.size());
        }

        // The fresh store takes new work and passes the check.
        main().performAndWait([&] {
            auto feed = Feed::insert(main());
            feed.setName("After recovery");
            feed.setUrl("https://after.example/feed.xml");
        });
        saveAndWait();
        closeStore();
        EXPECT_EQ(graph::StoreRecovery::check(storePath().string()).state, graph::StoreCheck::State::healthy);
        controller = open();
        ASSERT_TRUE(controller);
        EXPECT_FALSE(controller->storeRecovery());
        closeStore();
    }
}

// The program opens its store with the full check after the window shows:
// damage the header and schema show is still repaired at open, damage deeper
// in the file by the next open after the background check found it.
TEST_F(StoreRecoveryTest, AFullCheckAfterOpenRecoversAtTheNextOpen) {
    const std::vector<std::pair<Damage, bool>> cases = {
        {{"header overwritten", [](const auto& path) { randomise(path, 0, 100, kDamageSeed); }, true, true}, true},
        {{"article pages in the middle randomised", randomiseMiddleArticlePages, true, false}, false},
        {{"no damage", [](const auto&) {}, true, true}, false},
    };
    const auto marker = DataController::checkDueMarker(storePath());
    for (const auto& [damage, foundAtOpen] : cases) {
        SCOPED_TRACE(damage.name);
        std::filesystem::remove_all(storePath().parent_path());
        controller = open();
        ASSERT_TRUE(controller);
        fillStore();
        closeStore();
        damage.apply(storePath());
        const bool damaged = std::string(damage.name) != "no damage";

        controller = open(FullStoreCheck::afterOpen);
        ASSERT_TRUE(controller);
        EXPECT_EQ(controller->storeRecovery().has_value(), foundAtOpen);
        std::promise<bool> found;
        controller->checkStoreInBackground([&found](bool verdict) { found.set_value(verdict); });
        auto verdict = found.get_future();
        ASSERT_EQ(verdict.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(verdict.get(), damaged && !foundAtOpen) << "a store checked in full at open is not read again";
        EXPECT_EQ(std::filesystem::exists(marker), damaged && !foundAtOpen);
        closeStore();

        controller = open(FullStoreCheck::afterOpen);
        ASSERT_TRUE(controller);
        EXPECT_EQ(controller->storeRecovery().has_value(), damaged && !foundAtOpen);
        EXPECT_FALSE(std::filesystem::exists(marker)) << "owed only until the next open";
        closeStore();
    }
}

TEST_F(StoreRecoveryTest, AHealthyStoreIsLeftAlone) {
    fillStore();
    closeStore();
    EXPECT_EQ(graph::StoreRecovery::check(storePath().string()).state, graph::StoreCheck::State::healthy);
    controller = open();
    EXPECT_FALSE(controller->storeRecovery());
    for (const auto& entry : std::filesystem::directory_iterator(storePath().parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos) << entry.path();
}

// A store of the layout that kept large values in the article rows keeps
// them through a recovery.
TEST_F(StoreRecoveryTest, LargeValuesOfTheOlderLayoutAreCarriedOver) {
    fillStore();
    closeStore();
    {
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(storePath().c_str(), &connection), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(connection,
                               "ALTER TABLE article ADD COLUMN textContent TEXT;"
                               "UPDATE article SET textContent = (SELECT textContent FROM article_large l WHERE l.id = article.id);"
                               "DROP TABLE article_large",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(connection);
    }
    auto report = graph::StoreRecovery::recover(storePath().string(), StoredModel::description(), "older layout");
    ASSERT_TRUE(report) << report.error().message;
    controller = open();
    std::size_t withText = 0;
    main().performAndWait([&] {
        auto articles = main().fetch(Article::fetchRequest());
        ASSERT_TRUE(articles.ok());
        for (const auto& object : articles.value())
            if (Article(object).textContent().value_or("").size() == 600) ++withText;
    });
    EXPECT_EQ(withText, static_cast<std::size_t>(feedCount * articlesPerFeed));
}

TEST_F(StoreRecoveryTest, SetAsideFilesAreNeverOverwritten) {
    closeStore();
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> asides;
    for (int round = 0; round < 3; ++round) {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::ofstream(storePath().string() + suffix) << "round " << round << suffix;
        auto aside = graph::StoreRecovery::moveAside(storePath().string(), now);
        ASSERT_TRUE(aside) << aside.error().message;
        asides.push_back(*aside);
        EXPECT_FALSE(std::filesystem::exists(storePath()));
        EXPECT_FALSE(std::filesystem::exists(storePath().string() + "-wal"));
    }
    EXPECT_EQ(std::set<std::string>(asides.begin(), asides.end()).size(), 3u);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(readBytes(asides[round]), "round " + std::to_string(round));
        EXPECT_EQ(readBytes(asides[round] + "-wal"), "round " + std::to_string(round) + "-wal");
    }
}

}  // namespace
}  // namespace tallowmere::test
