#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "support/LogCapture.h"
#include "support/FileDamage.h"
#include "support/TempDir.h"

namespace tallowmere::test {
namespace {

constexpr std::uint32_t kDamageSeed = 1210;

using namespace std::chrono_literals;

// The IDs a search finds, or nothing when it did not complete in time.
std::optional<std::set<graph::ObjectID>> found(SearchManager& manager, const std::string& text) {
    auto ids = std::make_shared<std::set<graph::ObjectID>>();
    auto completed = std::make_shared<std::promise<void>>();
    manager.search(
        text, [ids](std::vector<graph::ObjectID> batch) { ids->insert(batch.begin(), batch.end()); },
        [completed] { completed->set_value(); });
    if (completed->get_future().wait_for(20s) != std::future_status::ready) return std::nullopt;
    return *ids;
}

std::vector<std::filesystem::path> setAside(const std::filesystem::path& index) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(index.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(index.filename().string() + ".damaged-") && !name.ends_with("-wal") &&
            !name.ends_with("-shm"))
            files.push_back(entry.path());
    }
    return files;
}

class SearchIndexRecoveryTest : public ::testing::Test {
protected:
    static constexpr int articleCount = 600;

    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "Tallowmere" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok());
        controller = opened.value();
        auto& main = *controller->mainContext();
        main.performAndWait([&] {
            for (int index = 0; index < articleCount; ++index) {
                Article article = Article::insert(main);
                article.setTitle("Harbour report " + std::to_string(index));
                article.setTextContent("common words and a unique marker" + std::to_string(index) + " " +
                                       std::string(300, static_cast<char>('a' + index % 26)));
            }
            ASSERT_TRUE(main.save().ok());
        });
    }
    void TearDown() override {
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
    std::filesystem::path indexPath() const { return dir.path() / "Tallowmere" / "Tallowmere.index"; }

    // An index of every stored article, closed.
    void buildIndex() {
        SearchManager manager(indexPath(), controller);
        auto& main = *controller->mainContext();
        main.performAndWait([&] {
            auto articles = main.fetch(Article::fetchRequest());
            for (const auto& object : articles.value()) manager.indexArticle(Article(object));
        });
        ASSERT_EQ(found(manager, "common")->size(), static_cast<std::size_t>(articleCount));
        ASSERT_TRUE(manager.compactIndex());
    }

    // Searches until every article is found again (the rebuild runs meanwhile).
    bool findsEveryArticle(SearchManager& manager) {
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < until) {
            auto ids = found(manager, "common");
            if (ids && ids->size() == static_cast<std::size_t>(articleCount) && !manager.isRebuilding()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    TempDir dir;
    std::shared_ptr<DataController> controller;
};

struct IndexDamage {
    const char* name;
    std::function<void(const std::filesystem::path&)> apply;
};

TEST_F(SearchIndexRecoveryTest, ADamagedIndexIsSetAsideAndRebuiltFromTheStore) {
    const std::vector<IndexDamage> damages = {
        {"header overwritten", [](const auto& path) { randomise(path, 0, 100, kDamageSeed); }},
        {"zero length", [](const auto& path) { std::filesystem::resize_file(path, 0); }},
        {"a database of another kind",
         [](const auto& path) {
             std::filesystem::remove(path);
             EXPECT_TRUE(DataController::open(path).ok());
         }},
        {"pages in the middle randomised, found by a search",
         [](const auto& path) {
             const auto size = std::filesystem::file_size(path);
             randomise(path, size / 4 / 4096 * 4096, size / 2 / 4096 * 4096, kDamageSeed);
         }},
    };
    for (const IndexDamage& damage : damages) {
        SCOPED_TRACE(damage.name);
        for (const auto& stale : setAside(indexPath())) std::filesystem::remove(stale);
        std::filesystem::remove(indexPath());
        buildIndex();
        damage.apply(indexPath());
        const std::string damagedBytes = readBytes(indexPath());

        LogCapture log;
        SearchManager manager(indexPath(), controller);
        ASSERT_TRUE(manager.hasIndex());
        EXPECT_TRUE(findsEveryArticle(manager)) << "search works again, over a rebuilt index";
        const auto kept = setAside(indexPath());
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(readBytes(kept[0]), damagedBytes) << "the damaged index is kept as it was";
        EXPECT_EQ(found(manager, "marker17 harbour")->size(), 1u) << "only the last word is a prefix";
        bool logged = false;
        for (const auto& line : log.lines()) logged = logged || line.find("rebuilding it from the store") != std::string::npos;
        EXPECT_TRUE(logged);
    }
}

TEST_F(SearchIndexRecoveryTest, AHealthyIndexIsNotRebuilt) {
    buildIndex();
    SearchManager manager(indexPath(), controller);
    EXPECT_FALSE(manager.isRebuilding());
    EXPECT_EQ(found(manager, "common")->size(), static_cast<std::size_t>(articleCount));
    EXPECT_TRUE(setAside(indexPath()).empty());
}

}  // namespace
}  // namespace tallowmere::test
