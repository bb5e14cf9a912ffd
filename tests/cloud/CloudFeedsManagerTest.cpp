#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <unordered_set>

#include "CloudDevice.h"
#include "cloud/CloudArticleRecord.h"
#include "cloud/ContainerCloudFeedsManager.h"
#include "support/OutsideWriter.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using Kind = test::FaultInjectingDatabase::Kind;
using std::chrono::hours;

const std::string feedURL = "https://news.example/feed";

// What one query handed back, and how often its completion ran.
struct Fetched {
    std::vector<CloudArticle> articles;
    bool cancelled = false;
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::vector<std::string> titles() const {
        std::vector<std::string> titles;
        for (const auto& article : articles) titles.push_back(article.title());
        return titles;
    }
};

class CloudFeedsManagerTest : public ::testing::Test {
protected:
    explicit CloudFeedsManagerTest(std::size_t pageSize = 100) {
        auto configuration = cloud::Configuration::localFile(folder.path() / "cloud.sqlite", "alice");
        configuration.pageSize = pageSize;
        container = std::make_shared<test::FaultInjectingContainer>(cloud::Container::make(configuration));
        manager = std::make_shared<ContainerCloudFeedsManager>([c = container] { return c; });
    }

    // The article records "<prefix><n>", the first one newest, an hour apart.
    void writeArticles(const std::string& prefix, int count, const std::string& url = feedURL,
                       const std::set<int>& untitled = {}) {
        std::vector<cloud::Record> records;
        for (int n = 0; n < count; ++n) {
            auto record = test::OutsideWriter::article(prefix + std::to_string(n), url, prefix + std::to_string(n),
                                                       cloud::Date(hours(100000 - n)));
            if (untitled.contains(n)) record.remove("title");
            records.push_back(std::move(record));
        }
        writer.save(std::move(records));
    }

    std::future<Fetched> start(const std::vector<std::string>& urls, std::optional<std::int64_t> limit = std::nullopt) {
        auto promise = std::make_shared<std::promise<Fetched>>();
        auto calls = std::make_shared<std::atomic<int>>(0);
        manager->fetchArticles(urls, limit, [promise, calls](std::vector<CloudArticle> articles, bool cancelled) {
            if (++*calls > 1) return;
            Fetched fetched;
            fetched.articles = std::move(articles);
            fetched.cancelled = cancelled;
            fetched.calls = calls;
            promise->set_value(std::move(fetched));
        });
        return promise->get_future();
    }
    static Fetched wait(std::future<Fetched> future) {
        if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "no completion";
            return {};
        }
        Fetched fetched = future.get();
        EXPECT_EQ(fetched.calls->load(), 1);
        return fetched;
    }
    Fetched fetch(const std::vector<std::string>& urls, std::optional<std::int64_t> limit = std::nullopt) {
        return wait(start(urls, limit));
    }
    int queries() { return container->publicFaults().requestCount(Kind::query); }

    test::TempDir folder;
    test::OutsideWriter writer{cloud::Configuration::localFile(folder.path() / "cloud.sqlite")};
    std::shared_ptr<test::FaultInjectingContainer> container;
    std::shared_ptr<ContainerCloudFeedsManager> manager;
};

TEST_F(CloudFeedsManagerTest, AURLIsQueriedInTheMirrorsFormAndKeptAsPassed) {
    writeArticles("a", 3);
    writeArticles("other", 2, "https://other.example/feed");
    const std::string asPassed = "HTTPS://News.Example/feed/";
    container->publicFaults().holdNext(Kind::query, 1);
    auto pending = start({asPassed});
    EXPECT_EQ(manager->operationKeys(), std::vector<std::string>{asPassed}) << "kept while it runs";
    manager->cancelOperation("https://never.example/asked");  // not kept: nothing happens
    container->publicFaults().releaseHeld();
    const Fetched fetched = wait(std::move(pending));
    EXPECT_EQ(fetched.titles(), (std::vector<std::string>{"a0", "a1", "a2"})) << "newest first";
    EXPECT_FALSE(fetched.cancelled);
    const CloudArticle& first = fetched.articles.front();
    EXPECT_EQ(first.feedURL(), feedURL);
    EXPECT_EQ(first.content(), "Text of a0");
    EXPECT_EQ(first.feedTitle(), "Feed " + feedURL);
    EXPECT_FALSE(first.tags());

    EXPECT_TRUE(fetch({}).articles.empty()) << "no URL, no articles";
}

TEST_F(CloudFeedsManagerTest, OnePageOfFiftyEndsTheQuery) {
    writeArticles("a", 60);
    const Fetched fetched = fetch({feedURL});
    EXPECT_EQ(fetched.articles.size(), 50u);
    EXPECT_EQ(queries(), 1);
}

TEST_F(CloudFeedsManagerTest, RecordsThatDoNotConvertAreDroppedAndTheNextPageIsAppended) {
    writeArticles("a", 60, feedURL, {3, 17});
    const Fetched fetched = fetch({feedURL});
    EXPECT_EQ(fetched.articles.size(), 58u) << "48 of the first page, then all ten of the second";
    EXPECT_EQ(queries(), 2);
    EXPECT_EQ(fetched.articles.back().title(), "a59");
}

TEST_F(CloudFeedsManagerTest, ConversionReadsTheContentFileTrimsAndFallsBackToTheCreationDate) {
    const auto contentFile = folder.path() / "content.txt";
    std::ofstream(contentFile) << "\u2003 From the file \u00e9\n";
    const auto badFile = folder.path() / "bad.txt";
    std::ofstream(badFile) << "\xff\xfe not text";

    auto withFile = test::OutsideWriter::article("file", feedURL, "\n\u00a0Spaced title\u3000", cloud::Date(hours(30)));
    withFile.set("content_asset", cloud::Asset{contentFile});
    withFile.set("content", "From the text");
    withFile.set("author", " Ann ");
    withFile.set("top_image_url", "  https://news.example/top.png ");
    auto undated = test::OutsideWriter::article("undated", feedURL, "Undated", cloud::Date(hours(20)));
    undated.remove("published_date");
    auto unreadable = test::OutsideWriter::article("unreadable", feedURL, "Unreadable", cloud::Date(hours(10)));
    unreadable.set("content_asset", cloud::Asset{badFile});
    auto saved = writer.save({withFile, undated, unreadable});

    const Fetched fetched = fetch({feedURL});
    ASSERT_EQ(fetched.titles(), (std::vector<std::string>{"Spaced title", "Undated"}));
    const CloudArticle& fromFile = fetched.articles[0];
    EXPECT_EQ(fromFile.content(), "From the file \u00e9");
    EXPECT_EQ(fromFile.creator(), "Ann");
    EXPECT_EQ(fromFile.topImageURL(), "https://news.example/top.png");
    EXPECT_EQ(fetched.articles[1].date(), *saved[1].creationDate());

    // A pushed record is read without its file.
    auto pushed = CloudArticleRecord::article(saved[0], CloudArticleRecord::Content::textOnly);
    ASSERT_TRUE(pushed);
    EXPECT_EQ(pushed->content(), "From the text");
}

TEST_F(CloudFeedsManagerTest, ACancelDuringTheFirstPageEndsWithWhatWasGathered) {
    writeArticles("a", 5);
    container->publicFaults().holdNext(Kind::query, 1);
    auto pending = start({feedURL});
    ASSERT_TRUE(test::waitUntil([&] { return container->publicFaults().heldCount() == 1; }));
    manager->cancelOperation(feedURL);
    const Fetched fetched = wait(std::move(pending));
    EXPECT_TRUE(fetched.cancelled);
    EXPECT_TRUE(fetched.articles.empty());
    EXPECT_TRUE(manager->operationKeys().empty());
}

class SmallPagesTest : public CloudFeedsManagerTest {
protected:
    SmallPagesTest() : CloudFeedsManagerTest(10) {}
};

TEST_F(SmallPagesTest, ACancelReachesAQueryOnALaterPage) {
    writeArticles("a", 40);
    container->publicFaults().holdNext(Kind::query, 2);
    auto pending = start({feedURL}, 30);
    ASSERT_TRUE(test::waitUntil([&] { return container->publicFaults().heldCount() == 1; }));
    container->publicFaults().releaseHeld();
    ASSERT_TRUE(test::waitUntil([&] { return queries() == 2 && container->publicFaults().heldCount() == 1; }));
    manager->cancelAllOperations();
    const Fetched fetched = wait(std::move(pending));
    EXPECT_TRUE(fetched.cancelled);
    EXPECT_EQ(fetched.articles.size(), 10u) << "the first page only";
}

TEST_F(CloudFeedsManagerTest, TheLatestArticleGivesItsTopImage) {
    auto older = test::OutsideWriter::article("older", feedURL, "Older", cloud::Date(hours(1)));
    older.set("top_image_url", "https://news.example/older.png");
    auto newer = test::OutsideWriter::article("newer", feedURL, "Newer", cloud::Date(hours(2)));
    newer.set("top_image_url", " https://news.example/newer.png");
    writer.save({older, newer});
    using Latest = std::pair<std::optional<std::string>, std::optional<cloud::Error>>;
    auto latest = [&](const std::string& url) {
        return test::await<Latest>([&](std::function<void(Latest)> done) {
            manager->fetchLatestArticle(url, [done](auto image, auto error) { done({image, error}); });
        });
    };
    const Latest found = latest("https://NEWS.example/feed/");
    EXPECT_EQ(found.first, " https://news.example/newer.png") << "as stored";
    EXPECT_FALSE(found.second);
    EXPECT_EQ(latest("https://nobody.example").first, std::nullopt);
    EXPECT_TRUE(manager->operationKeys().empty());
}

TEST(CloudArticle, EqualByLinkAndFeedURLWhateverElseDiffers) {
    const cloud::Date date(hours(1));
    const CloudArticle one("One", date, "a", std::nullopt, "https://x.example/1", std::nullopt, std::nullopt,
                           feedURL, std::nullopt);
    const CloudArticle retitled("Other", date + hours(5), "b", "Ann", "https://x.example/1", "img", std::nullopt,
                                feedURL, "Feed");
    const CloudArticle otherFeed("One", date, "a", std::nullopt, "https://x.example/1", std::nullopt, std::nullopt,
                                 "https://other.example/feed", std::nullopt);
    EXPECT_EQ(one, retitled);
    EXPECT_EQ(std::hash<CloudArticle>{}(one), std::hash<CloudArticle>{}(retitled));
    EXPECT_NE(one, otherFeed);
    const std::unordered_set<CloudArticle> set{one, retitled, otherFeed};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace tallowmere
