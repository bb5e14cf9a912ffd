#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "foundation/Resources.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/textindex/TextIndex.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Tag.h"
#include "support/TempDir.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"

using namespace tallowmere;
using tallowmere::test::LogCapture;
using tallowmere::test::ScopedEnv;
using tallowmere::graph::ObjectID;

namespace {


std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What one search delivered, and where.
struct Outcome {
    std::vector<std::vector<ObjectID>> batches;
    int completions = 0;
    std::set<std::string> queues;

    std::vector<ObjectID> all() const {
        std::vector<ObjectID> ids;
        for (const auto& batch : batches) ids.insert(ids.end(), batch.begin(), batch.end());
        return ids;
    }
};

// Runs a search and waits for its completion; then lets the queue run dry so
// that a stray late callback would still be seen.
Outcome searchAndWait(SearchManager& manager, const std::string& text) {
    Outcome outcome;
    std::promise<void> completed;
    manager.search(
        text,
        [&](std::vector<ObjectID> ids) {
            outcome.queues.insert(std::string(dispatch::currentQueueLabel()));
            outcome.batches.push_back(std::move(ids));
        },
        [&] {
            outcome.queues.insert(std::string(dispatch::currentQueueLabel()));
            if (++outcome.completions == 1) completed.set_value();
        });
    EXPECT_EQ(completed.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    manager.searchQueue().sync([] {});
    return outcome;
}

class SearchManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "data" / "Tallowmere" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        manager = std::make_unique<SearchManager>(indexPath(), controller);
        ASSERT_TRUE(manager->hasIndex());
    }
    void TearDown() override {
        manager.reset();
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
    std::filesystem::path indexPath() const { return dir.path() / "data" / "Tallowmere" / "Tallowmere.index"; }
    graph::Context& main() { return *controller->mainContext(); }

    Article article(const std::string& title, std::optional<std::string> text = std::nullopt,
                    const std::vector<std::optional<std::string>>& tags = {}) {
        Article made = Article::insert(main());
        made.setTitle(title);
        made.setTextContent(std::move(text));
        for (const auto& name : tags) {
            Tag tag = Tag::insert(main());
            tag.setName(name);
            made.addTag(tag);
        }
        return made;
    }
    void save() { ASSERT_TRUE(main().save().ok()); }
    std::vector<ObjectID> found(const std::string& text) { return searchAndWait(*manager, text).all(); }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<SearchManager> manager;
};

}  // namespace

TEST_F(SearchManagerTest, DocumentTextJoinsTitleTextAndTagNamesWithBlanks) {
    EXPECT_EQ(SearchManager::documentText(article("Title")), "Title  ");
    EXPECT_EQ(SearchManager::documentText(article("Title", "body")), "Title body ");
    EXPECT_EQ(SearchManager::documentText(article("Title", std::nullopt, {"solo"})), "Title  solo");
    EXPECT_EQ(SearchManager::documentText(article("Title", "", {std::nullopt})), "Title  ");

    const Article tagged = article("Title", "body", {"a", "b"});
    std::string names;
    for (const Tag& tag : tagged.tags()) names += (names.empty() ? "" : " ") + tag.name().value();
    EXPECT_EQ(SearchManager::documentText(tagged), "Title body " + names);
    EXPECT_TRUE(names == "a b" || names == "b a") << names;

    Article untitled = Article::insert(main());
    untitled.setTextContent("text without a title");
    EXPECT_EQ(SearchManager::documentText(untitled), std::nullopt);
}

TEST_F(SearchManagerTest, IndexedTextIsFoundByWordsOfEachPart) {
    const Article withTags = article("Evening bulletin", "Storms crossing the valley", {"weather", "regional"});
    const Article untitled = Article::insert(main());
    untitled.setTextContent("valley without any title");
    save();
    manager->indexArticle(withTags);
    manager->indexArticle(untitled);

    for (const char* text : {"bulletin", "storms valley", "regional", "WEATHER", "evening weather"}) {
        EXPECT_EQ(found(text), std::vector<ObjectID>{withTags.objectID()}) << text;
    }
    EXPECT_TRUE(found("without title").empty());
}

TEST_F(SearchManagerTest, LastWordIsAPrefixOthersAreWhole) {
    const Article abcdef = article("abcdef ghijkl");
    save();
    manager->indexArticle(abcdef);
    const std::vector<ObjectID> one{abcdef.objectID()};
    EXPECT_EQ(found("abc"), one);
    EXPECT_EQ(found("abcdef"), one);
    EXPECT_EQ(found("ghijkl abc"), one);
    EXPECT_TRUE(found("abc ghijkl").empty());
    EXPECT_TRUE(found("abcdefg").empty());
}

TEST_F(SearchManagerTest, ShortWordsAndStopWordsAreNotIndexedAndFindNothingCleanly) {
    const Article item = article("An ox by the lighthouse", "it is of no use", {"go"});
    save();
    manager->indexArticle(item);
    for (const char* text : {"ox", "an", "the", "by", "go", "the an of", "   ", "", "di per"}) {
        const Outcome outcome = searchAndWait(*manager, text);
        EXPECT_TRUE(outcome.batches.empty()) << text;
        EXPECT_EQ(outcome.completions, 1) << text;
    }
    EXPECT_EQ(found("the lighthouse"), std::vector<ObjectID>{item.objectID()});
}

TEST_F(SearchManagerTest, WordsJoinedByTermCharactersAreOneTerm) {
    const Article item = article("e-mail snake_case user@example.com version.next l'amore");
    save();
    manager->indexArticle(item);
    const std::vector<ObjectID> one{item.objectID()};
    struct Case {
        const char* whole;
        const char* tail;
    };
    for (const Case& c : {Case{"e-mail", "mail"}, Case{"snake_case", "case"}, Case{"user@example.com", "example"},
                          Case{"version.next", "next"}, Case{"l'amore", "amore"}}) {
        EXPECT_EQ(found(c.whole), one) << c.whole;
        EXPECT_TRUE(found(c.tail).empty()) << c.tail;
    }
}

TEST_F(SearchManagerTest, ManyMatchesArriveInBatchesOfAtMostFiftyThenOneCompletion) {
    std::set<ObjectID> expected;
    std::vector<Article> articles;
    for (int i = 0; i < 120; ++i) articles.push_back(article("Lighthouse report " + std::to_string(i)));
    save();
    for (const Article& item : articles) {
        manager->indexArticle(item);
        expected.insert(item.objectID());
    }

    // Two searches queued together: the second starts only once the first
    // has delivered everything.
    std::mutex mutex;
    std::vector<std::string> events;
    std::vector<std::vector<ObjectID>> batches;
    std::set<std::string> queues;
    std::promise<void> bothDone;
    auto record = [&](const std::string& event) {
        std::lock_guard lock(mutex);
        events.push_back(event);
        queues.insert(std::string(dispatch::currentQueueLabel()));
    };
    manager->search(
        "lighthouse",
        [&](std::vector<ObjectID> ids) {
            record("batch 1");
            std::lock_guard lock(mutex);
            batches.push_back(std::move(ids));
        },
        [&] { record("done 1"); });
    manager->search(
        "report", [&](std::vector<ObjectID>) { record("batch 2"); },
        [&] {
            record("done 2");
            bothDone.set_value();
        });
    ASSERT_EQ(bothDone.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    manager->searchQueue().sync([] {});

    std::set<ObjectID> delivered;
    for (const auto& batch : batches) {
        EXPECT_LE(batch.size(), SearchManager::batchSize);
        EXPECT_FALSE(batch.empty());
        delivered.insert(batch.begin(), batch.end());
    }
    EXPECT_EQ(delivered, expected);
    EXPECT_GE(batches.size(), 3u);
    std::vector<std::string> expectedEvents(batches.size(), "batch 1");
    expectedEvents.push_back("done 1");
    const std::size_t firstEnd = expectedEvents.size();
    ASSERT_GT(events.size(), firstEnd);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(firstEnd)),
              expectedEvents);
    EXPECT_EQ(events.back(), "done 2");
    EXPECT_EQ(std::count(events.begin(), events.end(), "done 2"), 1);
    EXPECT_EQ(queues, std::set<std::string>{SearchManager::searchQueueLabel});
}

TEST_F(SearchManagerTest, ReindexingReplacesTheDocument) {
    const Article item = article("Original headline");
    save();
    manager->indexArticle(item);
    item.setTitle("Corrected headline");
    manager->indexArticle(item);
    EXPECT_TRUE(found("original").empty());
    EXPECT_EQ(found("headline"), std::vector<ObjectID>{item.objectID()});
    EXPECT_EQ(found("corrected"), std::vector<ObjectID>{item.objectID()});
}

TEST_F(SearchManagerTest, UnsavedArticleIsIndexedUnderItsPermanentID) {
    const Article item = article("Provisional dispatch");
    ASSERT_TRUE(item.objectID().isTemporary());
    manager->indexArticle(item);
    ASSERT_FALSE(item.objectID().isTemporary());
    const ObjectID permanent = item.objectID();
    save();
    EXPECT_EQ(item.objectID(), permanent);
    EXPECT_EQ(found("provisional"), std::vector<ObjectID>{permanent});
    EXPECT_EQ(SearchManager::documentURI(item), permanent.uriRepresentation());
}

TEST_F(SearchManagerTest, RemovedDocumentsAreNotFoundAndCompactionKeepsTheRest) {
    std::vector<Article> articles;
    for (const char* title : {"Harbour alpha", "Harbour bravo", "Harbour charlie"}) articles.push_back(article(title));
    save();
    for (const Article& item : articles) manager->indexArticle(item);

    // As the feeds manager does: removals queued on the search queue, then one compaction.
    bool removed = false;
    bool compacted = false;
    const std::string uri = SearchManager::documentURI(articles[1]).value();
    manager->searchQueue().async([&] { removed = manager->removeDocument(uri); });
    manager->searchQueue().async([&] { compacted = manager->compactIndex(); });
    manager->searchQueue().sync([] {});
    EXPECT_TRUE(removed);
    EXPECT_TRUE(compacted);

    const std::vector<ObjectID> rest = found("harbour");
    EXPECT_EQ(std::set<ObjectID>(rest.begin(), rest.end()),
              (std::set<ObjectID>{articles[0].objectID(), articles[2].objectID()}));
    // An addition queued after a removal of the same document wins.
    EXPECT_TRUE(manager->removeDocument(SearchManager::documentURI(articles[0]).value()));
    manager->indexArticle(articles[0]);
    EXPECT_TRUE(manager->removeDocument("tallowmere://no-such-store/Article/p1"));
    EXPECT_EQ(found("alpha"), std::vector<ObjectID>{articles[0].objectID()});

    // A removal asked for by a search's own callback waits until the search is over.
    const std::string charlie = SearchManager::documentURI(articles[2]).value();
    std::vector<bool> answers;
    std::promise<void> searched;
    manager->search(
        "charlie", [&](std::vector<ObjectID>) { answers.push_back(manager->removeDocument(charlie)); },
        [&] { searched.set_value(); });
    searched.get_future().wait();
    EXPECT_TRUE(found("charlie").empty());
    EXPECT_EQ(answers, std::vector<bool>{false});
}

TEST_F(SearchManagerTest, SearchIndexingQueuesRemovalsAndCompactionInCallOrder) {
    std::vector<Article> articles;
    for (const char* title : {"Harbour alpha", "Harbour bravo", "Harbour charlie"}) articles.push_back(article(title));
    save();
    for (const Article& item : articles) manager->indexArticle(item);

    SearchManagerIndexing indexing(*manager);
    indexing.removeDocument(SearchManager::documentURI(articles[0]).value());
    indexing.removeDocument(SearchManager::documentURI(articles[1]).value());
    indexing.compactIndex();
    manager->indexArticle(articles[1]);  // queued after its removal, so it stays

    const std::vector<ObjectID> rest = found("harbour");
    EXPECT_EQ(std::set<ObjectID>(rest.begin(), rest.end()),
              (std::set<ObjectID>{articles[1].objectID(), articles[2].objectID()}));
}

TEST_F(SearchManagerTest, QuerySyntaxInTheTextIsSearchedForNeverObeyed) {
    const Article item = article("Lighthouse keeper's notes: near the harbour", "title:colon body-text (aside)");
    save();
    manager->indexArticle(item);
    const std::vector<ObjectID> one{item.objectID()};
    struct Case {
        const char* query;
        bool matches;
    };
    const Case cases[] = {
        {"\"harbour", true},
        {"harbour\"", true},
        {"\"lighthouse harbour\"", true},  // words, not a phrase
        {"(harbour", true},
        {"(aside)", true},
        {"-harbour", true},
        {"lighthouse NOT harbour", true},   // "not" is a stop word, not a negation
        {"lighthouse OR nowhere", false},  // every word must match
        {"NEAR(lighthouse harbour)", false},
        {"near harb*", true},
        {"harbour:", true},
        {"title:colon", true},
        {"body:colon", false},  // no column filter: "body" is searched for
        {"body-text", true},
        {"keeper's", true},
        {"\" OR \"\" * ( ) : -", false},
        {"lighthouse AND", true},
        {"*", false},
        {"^harbour", true},
        {"{body terms}: harbour", false},
    };
    for (const Case& c : cases) {
        const Outcome outcome = searchAndWait(*manager, c.query);
        EXPECT_EQ(outcome.completions, 1) << c.query;
        EXPECT_EQ(outcome.all(), c.matches ? one : std::vector<ObjectID>{}) << c.query;
    }
}

TEST_F(SearchManagerTest, ExistingIndexIsOpenedWithItsOwnProperties) {
    const Article item = article("Persistent lighthouse");
    save();
    manager->indexArticle(item);
    manager.reset();

    manager = std::make_unique<SearchManager>(indexPath(), controller);
    ASSERT_TRUE(manager->hasIndex());
    EXPECT_EQ(found("lighthouse"), std::vector<ObjectID>{item.objectID()});
    manager.reset();

    // An index made with other properties keeps them: short words count,
    // "lighthouse" is a stop word, and the shipped stop words are not used.
    const std::filesystem::path other = dir.path() / "other" / "Other.index";
    std::filesystem::create_directories(other.parent_path());
    textindex::TextIndexProperties properties;
    properties.minimumTermLength = 2;
    properties.stopWords = {"lighthouse"};
    ASSERT_TRUE(textindex::TextIndex::open(other, properties).ok());
    manager = std::make_unique<SearchManager>(other, controller);
    ASSERT_TRUE(manager->hasIndex());
    const Article shortWords = article("ox lighthouse the");
    save();
    manager->indexArticle(shortWords);
    EXPECT_EQ(found("ox"), std::vector<ObjectID>{shortWords.objectID()});
    EXPECT_EQ(found("the"), std::vector<ObjectID>{shortWords.objectID()});
    EXPECT_TRUE(found("lighthouse").empty());
}

// A damaged index file is replaced instead (see SearchIndexRecoveryTest).
TEST_F(SearchManagerTest, WithoutAnIndexTheManagerWarnsAndSearchesStillComplete) {
    const Article item = article("Unreachable index");
    save();
    struct Case {
        const char* name;
        std::function<std::filesystem::path(const std::filesystem::path&)> prepare;
    };
    const Case cases[] = {
        {"folder blocked by a file",
         [](const std::filesystem::path& folder) {
             std::filesystem::create_directories(folder);
             std::ofstream(folder / "Blocked") << "not a folder";
             return folder / "Blocked" / "Blocked.index";
         }},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = c.prepare(dir.path() / ("broken" + std::to_string(++number)));
        const std::string before = contents(path);
        LogCapture log;
        SearchManager broken(path, controller);
        EXPECT_FALSE(broken.hasIndex());
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("[WARNING]: search runs without an index"), std::string::npos) << lines[0];

        broken.indexArticle(item);
        const Outcome outcome = searchAndWait(broken, "unreachable");
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_TRUE(outcome.batches.empty());
        EXPECT_FALSE(broken.removeDocument(SearchManager::documentURI(item).value()));
        EXPECT_FALSE(broken.compactIndex());
        EXPECT_EQ(contents(path), before);
    }
}

TEST_F(SearchManagerTest, StopWordsAreTheEnglishAndItalianListsOfTheResource) {
    using Words = std::optional<std::set<std::string>>;
    struct Case {
        const char* json;
        Words words;
    };
    const Case cases[] = {
        {R"({"en": ["the", "of"], "it": ["il", "the"], "fr": ["le"]})", Words({"il", "of", "the"})},
        {R"({"it": ["il"]})", Words({"il"})},
        {R"({})", Words(std::set<std::string>{})},
        {R"({"en": ["the"], "fr": "le"})", std::nullopt},
        {R"({"en": ["the", 3]})", std::nullopt},
        {R"(["the"])", std::nullopt},
        {R"({"en": ["the")", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(SearchManager::stopWords(c.json), c.words) << c.json;

    const Words shipped = SearchManager::stopWords(Resources::data(SearchManager::stopWordsResource).value());
    ASSERT_TRUE(shipped);
    for (const char* word : {"the", "and", "il", "della"}) EXPECT_EQ(shipped->count(word), 1u) << word;
}

TEST(SearchManagerSharedTest, SharedIndexLivesInTheDataFolderUnderTheAppName) {
    test::TempDir home;
    ScopedEnv data("XDG_DATA_HOME", (home.path() / "data").c_str());
    const std::string appName = AppUtils::appName();
    EXPECT_EQ(SearchManager::defaultIndexPath(), home.path() / "data" / appName / (appName + ".index"));
    AppUtils::setAppName("Renamed");
    EXPECT_EQ(SearchManager::defaultIndexPath(), home.path() / "data" / "Renamed" / "Renamed.index");
    AppUtils::setAppName(appName);

    SearchManager& shared = SearchManager::shared();
    EXPECT_EQ(&shared, &SearchManager::shared());
    EXPECT_TRUE(shared.hasIndex());
    EXPECT_TRUE(std::filesystem::is_regular_file(home.path() / "data" / appName / (appName + ".index")));
    shared.searchQueue().sync([] { EXPECT_EQ(dispatch::currentQueueLabel(), SearchManager::searchQueueLabel); });
}
