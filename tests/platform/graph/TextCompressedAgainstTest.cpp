// A large text stored compressed against another large text of the same
// object: it reads back however the object is loaded, stays right when
// either text changes, filters and sorts as text, and reads as absent when
// what it needs is damaged.
#include <map>
#include <string>

#include "GraphTestModel.h"
#include "platform/graph/CompressedText.h"
#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/Store.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {

ModelDescription pageModel() {
    ModelDescription model;
    model.entity("Page")
        .attribute("title", AttributeType::string)
        .attribute("markup", AttributeType::string)
        .attribute("body", AttributeType::string)
        .loadOnDemand({"markup", "body"})
        .compressAgainst("body", "markup");
    return model;
}

std::string paragraphs(int seed, int count) {
    static const char* words[] = {"harbour", "council", "café", "telescope", "budget", "kraków", "orchestra", "genome"};
    std::string text;
    for (int p = 0; p < count; ++p) {
        for (int w = 0; w < 24; ++w) text += std::string(words[(seed * 7 + p * 5 + w * w) % 8]) + (w == 23 ? "." : " ");
        text += "\n\n";
    }
    return text;
}

std::string markupOf(const std::string& text) {
    std::string markup = "<p>";
    for (char c : text) markup += c == '\n' ? std::string("</p><p class=\"x\">") : std::string(1, c);
    return markup + "</p>";
}

class TextCompressedAgainstTest : public ::testing::Test {
protected:
    void SetUp() override {
        tallowmere::dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = Container::open((dir.path() / "pages.sqlite").string(), pageModel());
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        container = opened.value();
        main = container->mainContext();
        main->performAndWait([&] {
            std::vector<ObjectPtr> pages;
            for (int n = 0; n < 4; ++n) {
                auto page = main->insert("Page");
                page->setString("title", "page " + std::to_string(n));
                const std::string body = paragraphs(n, 3 + n);
                // The last page has no markup, the one before a short body.
                if (n < 3) page->setString("markup", markupOf(paragraphs(n, 2)));
                page->setString("body", n == 2 ? std::string("short") : body);
                expected.push_back({n < 3 ? std::optional(markupOf(paragraphs(n, 2))) : std::nullopt,
                                    n == 2 ? std::string("short") : body});
                pages.push_back(page);
            }
            ASSERT_TRUE(main->save().ok());
            for (const auto& page : pages) ids.push_back(page->objectID());
        });
    }
    void TearDown() override {
        main.reset();
        container.reset();
        tallowmere::dispatch::MainQueue::shared().drain();
    }

    // Both texts of every page as a fresh context reads them, whole or slim.
    std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> readBack(bool slim) {
        std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> texts;
        auto reader = container->newPrivateContext("test_reader_queue");
        reader->performAndWait([&] {
            FetchRequest request("Page");
            request.sortDescriptors = {{"title", true, false}};
            if (slim) request.batchSize = 2;
            FetchedResultsController controller(reader, request);
            EXPECT_TRUE(controller.performFetch().ok());
            for (std::size_t i = 0; i < ids.size(); ++i) {
                ObjectPtr page = controller.object({0, i});
                if (!page) return;
                texts.emplace_back(page->string("markup"), page->string("body"));
            }
        });
        return texts;
    }
    std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> expectedTexts() const {
        std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> texts;
        for (const auto& [markup, body] : expected) texts.emplace_back(markup, body);
        return texts;
    }
    // Titles of the pages a fresh context finds, in the request's order.
    std::vector<std::string> titlesFound(FetchRequest request) {
        std::vector<std::string> titles;
        auto reader = container->newPrivateContext("test_filter_queue");
        reader->performAndWait([&] {
            auto found = reader->fetch(request);
            ASSERT_TRUE(found.ok()) << found.error().message;
            for (const auto& page : found.value()) titles.push_back(page->string("title").value_or(""));
        });
        return titles;
    }
    void execute(const std::string& sql) {
        std::lock_guard lock(container->store().mutex());
        ASSERT_TRUE(container->store().db().exec(sql).ok()) << sql;
    }
    std::string rawBodyForm(const ObjectID& id) {
        std::lock_guard lock(container->store().mutex());
        Statement* query = container->store().db().prepare("SELECT hex(substr(body, 1, 1)) FROM page_large WHERE id = ?1");
        query->bind(1, id.key());
        const std::string form = query->step() ? query->text(0) : std::string();
        query->reset();
        return form;
    }

    tallowmere::test::TempDir dir;
    std::shared_ptr<Container> container;
    std::shared_ptr<Context> main;
    std::vector<ObjectID> ids;
    std::vector<std::pair<std::optional<std::string>, std::string>> expected;
};

TEST_F(TextCompressedAgainstTest, ReadsBackWholeOrSlimAndFiltersAsText) {
    EXPECT_EQ(rawBodyForm(ids[0]), "02") << "compressed against the markup";
    EXPECT_EQ(rawBodyForm(ids[3]), "01") << "no markup: compressed on its own";
    EXPECT_TRUE(readBack(false) == expectedTexts());
    EXPECT_TRUE(readBack(true) == expectedTexts());
    FetchRequest request("Page");
    request.predicate = Predicate::anyOf({Predicate::equal("body", expected[1].second),
                                          Predicate::compare("body", Comparison::beginsWith, expected[0].second.substr(0, 30)),
                                          Predicate::equal("body", std::string("short"))});
    request.sortDescriptors = {{"body", false, false}};
    std::multimap<std::string, std::string> byBody;
    for (std::size_t i = 0; i < 3; ++i) byBody.emplace(expected[i].second, "page " + std::to_string(i));
    std::vector<std::string> descending;
    for (auto at = byBody.rbegin(); at != byBody.rend(); ++at) descending.push_back(at->second);
    EXPECT_EQ(titlesFound(request), descending);
}

// Changed from objects that never read their large texts, and from one
// whose markup another context changed since it read it.
TEST_F(TextCompressedAgainstTest, EitherTextChangesAndBothStayReadable) {
    auto writer = container->newPrivateContext("test_writer_queue");
    writer->performAndWait([&] {
        FetchRequest request("Page");
        request.sortDescriptors = {{"title", true, false}};
        request.batchSize = 2;
        FetchedResultsController controller(writer, request);
        ASSERT_TRUE(controller.performFetch().ok());
        controller.object({0, 0})->setString("body", paragraphs(9, 4));
        controller.object({0, 1})->setString("markup", markupOf(paragraphs(8, 3)));
        controller.object({0, 3})->setString("markup", markupOf(paragraphs(3, 2)));
        ASSERT_TRUE(writer->save().ok());
    });
    expected[0].second = paragraphs(9, 4);
    expected[1].first = markupOf(paragraphs(8, 3));
    expected[3].first = markupOf(paragraphs(3, 2));
    EXPECT_TRUE(readBack(true) == expectedTexts());
    EXPECT_EQ(rawBodyForm(ids[3]), "02") << "rewritten against its new markup";

    main->performAndWait([&] {
        ObjectPtr page = main->existingObject(ids[1]).value();
        ASSERT_EQ(page->string("body"), expected[1].second);
        writer->performAndWait([&] {
            writer->existingObject(ids[1]).value()->setString("markup", markupOf(paragraphs(5, 2)));
            ASSERT_TRUE(writer->save().ok());
        });
        page->setString("body", paragraphs(6, 5));
        ASSERT_TRUE(main->save().ok());
    });
    expected[1] = {markupOf(paragraphs(5, 2)), paragraphs(6, 5)};
    EXPECT_TRUE(readBack(false) == expectedTexts());
}

// What the body was compressed against is gone or another text: the body
// reads as absent, never as a wrong text, and the rest of the page stays.
TEST_F(TextCompressedAgainstTest, DamagedTextsReadAsAbsent) {
    const std::string other = markupOf(paragraphs(7, 2));
    execute("UPDATE page_large SET markup = x'01ff00ff00' WHERE id = " + std::to_string(ids[0].key()));
    execute("UPDATE page_large SET markup = '" + other + "' WHERE id = " + std::to_string(ids[1].key()));
    execute("UPDATE page_large SET body = substr(body, 1, length(body) - 4) WHERE id = " + std::to_string(ids[3].key()));
    for (bool slim : {false, true}) {
        const auto texts = readBack(slim);
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0], std::make_pair(std::optional<std::string>(), std::optional<std::string>()));
        EXPECT_EQ(texts[1], std::make_pair(std::optional(other), std::optional<std::string>()));
        EXPECT_EQ(texts[2].second, std::optional<std::string>("short"));
        EXPECT_EQ(texts[3].second, std::nullopt);
    }
    FetchRequest request("Page");
    request.predicate = Predicate::isNil("body");
    request.sortDescriptors = {{"title", true, false}};
    EXPECT_EQ(titlesFound(request), (std::vector<std::string>{"page 0", "page 1", "page 3"}))
        << "filters see the damaged bodies as absent too";
}

TEST(TextCompressedAgainstModel, OnlyAnEarlierLargeTextThatStandsOnItsOwnIsADictionary) {
    struct Case {
        const char* name;
        std::vector<std::string> onDemand;
        std::vector<std::pair<std::string, std::string>> pairs;
    };
    const std::vector<Case> cases = {
        {"declared after", {"a", "b"}, {{"a", "b"}}},
        {"not loaded on demand", {"b"}, {{"b", "a"}}},
        {"unknown", {"a", "b"}, {{"b", "z"}}},
        {"a number", {"a", "b", "n"}, {{"b", "n"}}},
        {"a chain", {"a", "b", "c"}, {{"b", "a"}, {"c", "b"}}},
        {"itself", {"a"}, {{"a", "a"}}},
    };
    for (const auto& c : cases) {
        ModelDescription model;
        auto& entity = model.entity("Page")
                           .attribute("n", AttributeType::integer64)
                           .attribute("a", AttributeType::string)
                           .attribute("b", AttributeType::string)
                           .attribute("c", AttributeType::string)
                           .loadOnDemand(c.onDemand);
        for (const auto& [text, dictionary] : c.pairs) entity.compressAgainst(text, dictionary);
        EXPECT_TRUE(model.finalize().has_value()) << c.name;
    }
}

}  // namespace

TEST_F(TextCompressedAgainstTest, ManyTextsOfOneSaveReadBackEachItsOwn) {
    // Enough texts for the save to compress them on several threads.
    std::map<ObjectID, std::pair<std::string, std::string>> written;
    main->performAndWait([&] {
        std::vector<ObjectPtr> pages;
        for (int n = 0; n < 40; ++n) {
            auto page = main->insert("Page");
            const std::string body = paragraphs(n + 10, 2 + n % 3);
            page->setString("markup", markupOf(body));
            page->setString("body", body);
            pages.push_back(page);
        }
        ASSERT_TRUE(main->save().ok());
        for (const auto& page : pages)
            written[page->objectID()] = {*page->string("markup"), *page->string("body")};
    });
    auto reader = container->newPrivateContext("test_many_reader_queue");
    reader->performAndWait([&] {
        for (const auto& [id, texts] : written) {
            ObjectPtr page = reader->object(id);
            ASSERT_TRUE(page);
            EXPECT_EQ(page->string("markup"), texts.first);
            EXPECT_EQ(page->string("body"), texts.second);
        }
    });
    EXPECT_EQ(rawBodyForm(written.begin()->first), "02");
}
