#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "foundation/Resources.h"
#include "platform/textindex/Fts5TermTokenizer.h"
#include "platform/textindex/TextIndex.h"
#include "support/TempDir.h"

using namespace tallowmere;
using namespace tallowmere::textindex;

namespace {

// The stop words the program ships: the union of the "en" and "it" lists.
std::set<std::string> shippedStopWords() {
    const auto data = Resources::data("StopwordsJSON.json");
    if (!data) return {};
    const nlohmann::json lists = nlohmann::json::parse(*data);
    std::set<std::string> words;
    for (const char* language : {"en", "it"}) {
        for (const auto& word : lists.at(language)) words.insert(word.get<std::string>());
    }
    return words;
}

TextIndexProperties shippedProperties() {
    TextIndexProperties properties;
    properties.stopWords = shippedStopWords();
    return properties;
}

std::string uri(int number) { return "x-tallowmere://store/Article/p" + std::to_string(number); }

struct Found {
    std::vector<std::vector<std::string>> batches;
    std::optional<TextIndexSearchEnd> end;
    std::optional<TextIndexError> error;

    std::set<std::string> uris() const {
        std::set<std::string> all;
        for (const auto& batch : batches) all.insert(batch.begin(), batch.end());
        return all;
    }
};

Found search(TextIndex& index, std::string_view text, TextIndexSearchOptions options = {}) {
    Found found;
    SearchCancellation cancellation;
    auto result = index.search(
        text, cancellation, [&](std::vector<std::string> uris) { found.batches.push_back(std::move(uris)); },
        options);
    if (result) {
        found.end = result.value();
    } else {
        found.error = result.error();
    }
    return found;
}

std::unique_ptr<TextIndex> openIndex(const std::filesystem::path& path,
                                     const TextIndexProperties& properties = shippedProperties()) {
    auto opened = TextIndex::open(path, properties);
    EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().description());
    return opened.ok() ? std::move(opened).value() : nullptr;
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class TextIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        index = openIndex(path());
        ASSERT_NE(index, nullptr);
    }
    std::filesystem::path path() const { return folder.path() / "Tallowmere.index"; }
    void add(int number, std::string_view text) {
        auto added = index->addDocument(uri(number), text);
        ASSERT_TRUE(added.ok()) << added.error().description();
    }
    std::set<std::string> uris(std::initializer_list<int> numbers) {
        std::set<std::string> result;
        for (int number : numbers) result.insert(uri(number));
        return result;
    }

    test::TempDir folder;
    std::unique_ptr<TextIndex> index;
};

}  // namespace

TEST(StopwordsResource, HoldsEnglishAndItalianWordLists) {
    const auto data = Resources::data("StopwordsJSON.json");
    ASSERT_TRUE(data.has_value());
    const nlohmann::json lists = nlohmann::json::parse(*data);
    for (const char* language : {"en", "it"}) {
        ASSERT_TRUE(lists.contains(language));
        ASSERT_TRUE(lists[language].is_array());
        EXPECT_GT(lists[language].size(), 50u);
    }
    const auto words = shippedStopWords();
    for (const char* word : {"the", "which", "della", "perché", "questo"})
        EXPECT_TRUE(words.count(word)) << word;
}

TEST_F(TextIndexTest, LastWordIsAPrefixAndEveryWordMustMatch) {
    add(1, "abcdef ghijkl");
    add(2, "abcxyz mnopqr");
    add(3, "unrelated words");
    EXPECT_EQ(search(*index, "abc").uris(), uris({1, 2}));
    EXPECT_EQ(search(*index, "ABCD").uris(), uris({1}));
    EXPECT_EQ(search(*index, "mnopqr abc").uris(), uris({2}));
    // Only the last word is a prefix.
    EXPECT_EQ(search(*index, "abc mnopqr").uris(), uris({}));
    EXPECT_EQ(search(*index, "abcxyz mno").uris(), uris({2}));
}

TEST_F(TextIndexTest, ShortWordsAndStopWordsAreNotIndexed) {
    add(1, "It is about the ox and an old mat, della casa");
    // "abou" would find the stop word "about" if it had been indexed.
    for (const char* text : {"abou", "the", "ox", "it", "is", "an", "dell", "della", "the and of"}) {
        const Found found = search(*index, text);
        EXPECT_EQ(found.end, TextIndexSearchEnd::finished) << text;
        EXPECT_TRUE(found.batches.empty()) << text;
    }
    EXPECT_EQ(search(*index, "mat").uris(), uris({1}));
    EXPECT_EQ(search(*index, "old casa").uris(), uris({1}));
    EXPECT_EQ(search(*index, "the casa").uris(), uris({1}));
}

TEST_F(TextIndexTest, JoinedWordsAreOneTerm) {
    add(1, "Send an e-mail to user@example.com about l'amore, snake_case and v1.2.3.");
    struct Case {
        const char* text;
        bool finds;
    };
    const Case cases[] = {
        {"e-mail", true},     {"E-MAIL", true},   {"mail", false},   {"user@example.com", true},
        {"user@exa", true},   {"example", false}, {"l'amore", true}, {"amore", false},
        {"snake_case", true}, {"case", false},    {"v1.2.3", true},  {"send", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(search(*index, c.text).uris(), c.finds ? uris({1}) : uris({})) << c.text;
    }
}

TEST_F(TextIndexTest, CaseAndDiacriticsAreFolded) {
    add(1, "Un café à Paris, naïve idée");
    add(2, "CAFE RACER");
    EXPECT_EQ(search(*index, "cafe").uris(), uris({1, 2}));
    EXPECT_EQ(search(*index, "Café").uris(), uris({1, 2}));
    EXPECT_EQ(search(*index, "naive idee").uris(), uris({1}));
    EXPECT_EQ(search(*index, "RÂCER").uris(), uris({2}));
}

TEST_F(TextIndexTest, MatchesComeInBatchesOfTheGivenSize) {
    std::vector<TextIndexDocument> documents;
    for (int i = 0; i < 120; ++i)
        documents.push_back({uri(i), "matching article number " + std::to_string(i)});
    documents.push_back({uri(1000), "something else entirely"});
    ASSERT_TRUE(index->addDocuments(documents).ok());

    const Found found = search(*index, "matching");
    EXPECT_EQ(found.end, TextIndexSearchEnd::finished);
    ASSERT_EQ(found.batches.size(), 3u);
    EXPECT_EQ(found.batches[0].size(), 50u);
    EXPECT_EQ(found.batches[1].size(), 50u);
    EXPECT_EQ(found.batches[2].size(), 20u);
    EXPECT_EQ(found.uris().size(), 120u);
    EXPECT_EQ(found.uris().count(uri(1000)), 0u);

    const Found small = search(*index, "article", {.batchSize = 7});
    EXPECT_EQ(small.batches.size(), 18u);
    EXPECT_TRUE(std::all_of(small.batches.begin(), small.batches.end(),
                            [](const auto& batch) { return !batch.empty() && batch.size() <= 7; }));
    EXPECT_EQ(small.uris().size(), 120u);
}

TEST_F(TextIndexTest, SearchWithoutMatchesFinishesWithoutABatch) {
    add(1, "present words");
    for (const char* text : {"absent", "", "   ", "the of", "\"\" ()"}) {
        const Found found = search(*index, text);
        EXPECT_EQ(found.end, TextIndexSearchEnd::finished) << text;
        EXPECT_TRUE(found.batches.empty()) << text;
    }
}

TEST_F(TextIndexTest, ReAddingADocumentReplacesIt) {
    add(1, "original wording here");
    add(1, "replacement wording here");
    EXPECT_TRUE(search(*index, "original").uris().empty());
    EXPECT_EQ(search(*index, "replacement").uris(), uris({1}));
    const Found both = search(*index, "wording");
    ASSERT_EQ(both.batches.size(), 1u);
    EXPECT_EQ(both.batches[0], std::vector<std::string>{uri(1)});

    // The same URI twice in one batch: the later text wins.
    ASSERT_TRUE(index->addDocuments({{uri(2), "first version"}, {uri(2), "second version"}}).ok());
    EXPECT_TRUE(search(*index, "first").uris().empty());
    EXPECT_EQ(search(*index, "version").uris(), uris({2}));
}

TEST_F(TextIndexTest, RemovedDocumentsAreGoneAndCompactionKeepsTheRest) {
    std::vector<TextIndexDocument> documents;
    for (int i = 0; i < 200; ++i)
        documents.push_back({uri(i), "shared words for document " + std::to_string(i)});
    ASSERT_TRUE(index->addDocuments(documents).ok());
    for (int i = 0; i < 200; i += 2) ASSERT_TRUE(index->removeDocument(uri(i)).ok());
    ASSERT_TRUE(index->removeDocument("x-tallowmere://never/added").ok());
    ASSERT_TRUE(index->compact().ok());

    const std::set<std::string> found = search(*index, "shared").uris();
    EXPECT_EQ(found.size(), 100u);
    EXPECT_EQ(found.count(uri(0)), 0u);
    EXPECT_EQ(found.count(uri(1)), 1u);

    // Everything above was committed: a new session sees the same.
    index.reset();
    index = openIndex(path());
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(search(*index, "shared").uris(), found);
    add(0, "shared again");
    EXPECT_EQ(search(*index, "shared").uris().size(), 101u);
}

TEST_F(TextIndexTest, AnExistingIndexKeepsItsOwnProperties) {
    index.reset();
    std::filesystem::remove(path());
    TextIndexProperties original;
    original.stopWords = {"alpha"};
    original.minimumTermLength = 4;
    index = openIndex(path(), original);
    ASSERT_NE(index, nullptr);
    add(1, "alpha bravo charlie abc");
    index.reset();

    TextIndexProperties other;
    other.stopWords = {"bravo"};
    other.minimumTermLength = 2;
    other.termCharacters = "";
    index = openIndex(path(), other);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->properties(), original);
    EXPECT_TRUE(search(*index, "alpha").uris().empty());
    EXPECT_TRUE(search(*index, "abc").uris().empty());
    EXPECT_EQ(search(*index, "bravo").uris(), uris({1}));
    add(2, "bravo-charlie delta");
    EXPECT_EQ(search(*index, "bravo-charlie").uris(), uris({2}));
    EXPECT_TRUE(search(*index, "alpha").uris().empty());
}

TEST_F(TextIndexTest, QuerySyntaxInTheTextIsSearchedForNotObeyed) {
    add(1, "secret body text");
    add(2, "public notes");
    add(3, "meet NEAR(secret) at noon");
    add(4, "body:secret value");
    struct Case {
        const char* text;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {"\"secret", uris({1, 3, 4})},
        {"secret\"", uris({1, 3, 4})},
        {"sec\"ret", uris({})},
        {"(secret", uris({1, 3, 4})},
        {"secret OR public", uris({})},
        {"public NOT notes", uris({2})},
        {"public AND notes", uris({2})},
        {"-notes public", uris({2})},
        {"NEAR(secret", uris({3})},
        {"NEAR(secret text, 10)", uris({})},
        {"body:secret", uris({4})},
        {"body : secret", uris({1, 4})},
        {"secr*", uris({1, 3, 4})},
        {"^secret +public", uris({})},
        {"{body} : secret", uris({1, 4})},
        {"*", uris({})},
        {"\"\"\"\"", uris({})},
        {"secret) OR (public", uris({})},
        {"text'; DROP TABLE documents; --", uris({})},
    };
    for (const Case& c : cases) {
        const Found found = search(*index, c.text);
        ASSERT_FALSE(found.error.has_value()) << c.text << ": " << found.error->description();
        EXPECT_EQ(found.uris(), c.expected) << c.text;
    }
    EXPECT_EQ(search(*index, "secret").uris(), uris({1, 3, 4}));
}

TEST_F(TextIndexTest, SearchIsCancelledBetweenBatches) {
    std::vector<TextIndexDocument> documents;
    for (int i = 0; i < 120; ++i) documents.push_back({uri(i), "common text " + std::to_string(i)});
    ASSERT_TRUE(index->addDocuments(documents).ok());

    SearchCancellation cancellation;
    std::vector<std::size_t> sizes;
    auto result = index->search("common", cancellation, [&](std::vector<std::string> batch) {
        sizes.push_back(batch.size());
        cancellation.cancel();
    });
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), TextIndexSearchEnd::cancelled);
    EXPECT_EQ(sizes, std::vector<std::size_t>{50});

    SearchCancellation early;
    early.cancel();
    bool called = false;
    result = index->search("common", early, [&](std::vector<std::string>) { called = true; });
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), TextIndexSearchEnd::cancelled);
    EXPECT_FALSE(called);

    // A cancelled search leaves the index ready for the next.
    EXPECT_EQ(search(*index, "common").uris().size(), 120u);
    add(500, "common addition");
    EXPECT_EQ(search(*index, "common").uris().size(), 121u);
}

TEST_F(TextIndexTest, APassThatRunsOutOfTimeHandsOverWhatItHas) {
    std::vector<TextIndexDocument> documents;
    for (int i = 0; i < 30; ++i) documents.push_back({uri(i), "timed text"});
    ASSERT_TRUE(index->addDocuments(documents).ok());
    const Found found =
        search(*index, "timed", {.batchSize = 50, .passTimeLimit = std::chrono::milliseconds(0)});
    EXPECT_EQ(found.end, TextIndexSearchEnd::finished);
    EXPECT_EQ(found.batches.size(), 30u);
    EXPECT_EQ(found.uris().size(), 30u);
}

TEST_F(TextIndexTest, HostileTextIsIndexedWithoutTrouble) {
    std::string hostile(1 << 20, 'x');  // one megabyte without a break
    hostile += " findable ";
    for (int i = 0; i < 1 << 18; ++i)
        hostile += static_cast<char>((i * 131) & 0xFF);  // bytes of all kinds, NULs too
    hostile += std::string("\0 nulls\0separated\0", 18);
    add(1, hostile);
    add(2, std::string(100000, '-') + std::string(100000, '\'') + " dashes");
    EXPECT_EQ(search(*index, "findable").uris(), uris({1}));
    EXPECT_EQ(search(*index, "separated").uris(), uris({1}));
    EXPECT_EQ(search(*index, "dashes").uris(), uris({2}));
    // Giant terms are cut at the same length in documents and queries.
    EXPECT_EQ(search(*index, std::string(1 << 17, 'x')).uris(), uris({1}));
    EXPECT_EQ(search(*index, std::string("\xFF\xC3 nulls\0sepa", 13)).uris(), uris({1}));
}

TEST(TextIndexFile, AFileThatIsNoReadableIndexIsAnErrorAndLeftAlone) {
    test::TempDir folder;
    const auto path = folder.path() / "broken.index";

    // A real index, cut short.
    {
        auto index = openIndex(path);
        ASSERT_NE(index, nullptr);
        std::vector<TextIndexDocument> documents;
        for (int i = 0; i < 3000; ++i) {
            documents.push_back(
                {uri(i), "document " + std::to_string(i) + " with words number" + std::to_string(i * 7)});
        }
        ASSERT_TRUE(index->addDocuments(documents).ok());
    }
    const std::string whole = fileBytes(path);
    ASSERT_GT(whole.size(), 40000u);
    const std::string truncated = whole.substr(0, whole.size() / 3);

    // A database of something else.
    const auto foreign = folder.path() / "foreign.db";
    {
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.c_str(), &connection), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(connection, "CREATE TABLE notes (body TEXT)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(connection);
    }

    // The right table names and properties, the wrong tables.
    const auto lookalike = folder.path() / "lookalike.index";
    {
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(lookalike.c_str(), &connection), SQLITE_OK);
        const char* schema =
            "CREATE TABLE properties (name TEXT, value TEXT);"
            "INSERT INTO properties VALUES ('format', '1'), ('termCharacters', ''),"
            "  ('minimumTermLength', '3'), ('stopWords', '[]');"
            "CREATE TABLE documents (id INTEGER PRIMARY KEY, uri TEXT);"
            "CREATE TABLE terms (text TEXT);";
        ASSERT_EQ(sqlite3_exec(connection, schema, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(connection);
    }

    // An index whose stored properties were damaged.
    const auto damaged = folder.path() / "damaged.index";
    {
        std::filesystem::copy_file(path, damaged);
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(damaged.c_str(), &connection), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(connection, "UPDATE properties SET value = '[1' WHERE name = 'stopWords'",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(connection);
    }

    const auto garbage = folder.path() / "garbage.index";
    writeFile(garbage, std::string(8192, '\x5A'));
    const auto cut = folder.path() / "cut.index";
    writeFile(cut, truncated);

    for (const auto& broken : {garbage, foreign, lookalike, damaged, cut}) {
        const std::string before = fileBytes(broken);
        auto opened = TextIndex::open(broken, shippedProperties());
        ASSERT_FALSE(opened.ok()) << broken;
        EXPECT_EQ(opened.error().code, TextIndexErrorCode::corrupt)
            << broken << ": " << opened.error().description();
        EXPECT_FALSE(opened.error().message.empty());
        EXPECT_EQ(fileBytes(broken), before) << broken;
    }
}

TEST(TextIndexFile, AnEmptyFileBecomesANewIndexAndAMissingFolderIsAnError) {
    test::TempDir folder;
    const auto empty = folder.path() / "empty.index";
    writeFile(empty, "");
    auto index = openIndex(empty);
    ASSERT_NE(index, nullptr);
    ASSERT_TRUE(index->addDocument(uri(1), "fresh content").ok());
    EXPECT_EQ(search(*index, "fresh").uris(), std::set<std::string>{uri(1)});

    auto missing = TextIndex::open(folder.path() / "no" / "such" / "folder.index", shippedProperties());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, TextIndexErrorCode::cannotOpen);
}

namespace {

// Runs one statement on the index file through a connection of its own.
int runOnFile(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* connection = nullptr;
    sqlite3_open(path.c_str(), &connection);
    const int status = sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(connection);
    return status;
}

}  // namespace

TEST(TextIndexFile, TheIndexKeepsNoCopyOfTheTextAndDeletesWithTheStoredTerms) {
    test::TempDir folder;
    const auto path = folder.path() / "lean.index";
    auto index = openIndex(path);
    ASSERT_NE(index, nullptr);
    const std::string secret = "Unrepeatable confidential wording, Ünïcode-folded and user@example.org joined";
    ASSERT_TRUE(index->addDocument(uri(1), secret).ok());
    ASSERT_TRUE(index->addDocument(uri(2), "another wording entirely").ok());
    // Replaced and removed documents leave no term behind.
    ASSERT_TRUE(index->addDocument(uri(2), "different words now").ok());
    ASSERT_TRUE(index->removeDocument(uri(1)).ok());
    ASSERT_TRUE(index->addDocument(uri(3), "fresh words").ok());
    for (const char* gone : {"unrepeatable", "confidential", "unicode-folded", "user@example.org", "wording", "another"})
        EXPECT_TRUE(search(*index, gone).uris().empty()) << gone;
    EXPECT_EQ(search(*index, "words").uris(), (std::set<std::string>{uri(2), uri(3)}));
    ASSERT_TRUE(index->compact().ok());
    EXPECT_EQ(search(*index, "different").uris(), std::set<std::string>{uri(2)});
    index.reset();

    // What the full-text table holds, read from its structure.
    std::set<std::string> held;
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &connection), SQLITE_OK);
    const TermTokenizer tokenizer(shippedProperties());
    Fts5TermTokenizer::Binding binding{&tokenizer};
    ASSERT_EQ(Fts5TermTokenizer::registerWith(connection, binding), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(connection, "INSERT INTO terms (terms) VALUES ('integrity-check')", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* vocabulary = nullptr;
    ASSERT_EQ(sqlite3_exec(connection, "CREATE VIRTUAL TABLE temp.held USING fts5vocab(main, terms, row)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(connection, "SELECT term FROM temp.held", -1, &vocabulary, nullptr), SQLITE_OK);
    while (sqlite3_step(vocabulary) == SQLITE_ROW)
        held.insert(reinterpret_cast<const char*>(sqlite3_column_text(vocabulary, 0)));
    sqlite3_finalize(vocabulary);
    std::set<std::string> numbered;
    ASSERT_EQ(sqlite3_prepare_v2(connection, "SELECT term FROM vocabulary", -1, &vocabulary, nullptr), SQLITE_OK);
    while (sqlite3_step(vocabulary) == SQLITE_ROW)
        numbered.insert(reinterpret_cast<const char*>(sqlite3_column_text(vocabulary, 0)));
    sqlite3_finalize(vocabulary);
    sqlite3_close(connection);
    EXPECT_EQ(held, (std::set<std::string>{"different", "words", "fresh"}));
    EXPECT_EQ(numbered, held) << "compaction leaves no word of a removed document";
    EXPECT_EQ(fileBytes(path).find("another wording entirely"), std::string::npos);
    EXPECT_EQ(fileBytes(path).find("Unrepeatable"), std::string::npos);
}

TEST(TextIndexFile, AnIndexOfTheFormerLayoutWithItsTextStaysUsable) {
    test::TempDir folder;
    const auto path = folder.path() / "former.index";
    const std::string schema =
        "CREATE TABLE properties (name TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "INSERT INTO properties VALUES ('format', '1'), ('termCharacters', '-_@.'''),"
        "  ('minimumTermLength', '3'), ('stopWords', '[\"the\"]');"
        "CREATE TABLE documents (id INTEGER PRIMARY KEY, uri TEXT NOT NULL UNIQUE);"
        "CREATE VIRTUAL TABLE terms USING fts5(body);"
        "INSERT INTO documents VALUES (1, 'x-tallowmere://store/Article/p1');"
        "INSERT INTO terms (rowid, body) VALUES (1, 'kept from before');";
    ASSERT_EQ(runOnFile(path, schema), SQLITE_OK);
    auto index = openIndex(path);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(search(*index, "before").uris(), std::set<std::string>{uri(1)});
    ASSERT_TRUE(index->addDocument(uri(1), "rewritten later").ok());
    ASSERT_TRUE(index->addDocument(uri(2), "second later").ok());
    EXPECT_TRUE(search(*index, "before").uris().empty());
    EXPECT_EQ(search(*index, "later").uris(), (std::set<std::string>{uri(1), uri(2)}));
    ASSERT_TRUE(index->removeDocument(uri(1)).ok());
    EXPECT_EQ(search(*index, "later").uris(), std::set<std::string>{uri(2)});
}

// Puts back the URIs stored without the index's shared start whole, as
// files before that form hold them.
constexpr const char* kWholeUris =
    "UPDATE documents SET uri = (SELECT value FROM properties WHERE name = 'documentPrefix') || "
    "  substr(uri, 2) WHERE substr(uri, 1, 1) = char(1);"
    "DELETE FROM properties WHERE name = 'documentPrefix';";

// Files that stored each document's terms as text take up the vocabulary:
// their documents are still found, replaced and removed.
TEST(TextIndexFile, AnIndexWithTermTextsTakesUpTheVocabulary) {
    test::TempDir folder;
    const auto path = folder.path() / "texts.index";
    {
        auto index = openIndex(path);
        ASSERT_NE(index, nullptr);
        ASSERT_TRUE(index->addDocuments({{uri(1), "alpha beta"}, {uri(2), "beta gamma"}}).ok());
    }
    // The same documents as that format kept them: front-coded, each term
    // led by a byte of 0x21 plus the length shared with the term before.
    ASSERT_EQ(runOnFile(path,
                        std::string("DROP TABLE vocabulary;") + kWholeUris +
                        "UPDATE properties SET value = '2' WHERE name = 'format';"
                        "UPDATE documents SET termList = '!alpha !beta ' WHERE uri = '" + uri(1) + "';"
                        "UPDATE documents SET termList = '!beta !gamma ' WHERE uri = '" + uri(2) + "'"),
              SQLITE_OK);
    auto index = openIndex(path);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(search(*index, "beta").uris(), (std::set<std::string>{uri(1), uri(2)}));
    ASSERT_TRUE(index->removeDocument(uri(1)).ok());
    ASSERT_TRUE(index->addDocument(uri(2), "delta").ok());
    ASSERT_TRUE(index->addDocument(uri(3), "alpha delta").ok());
    EXPECT_TRUE(search(*index, "beta").uris().empty());
    EXPECT_TRUE(search(*index, "gamma").uris().empty());
    EXPECT_EQ(search(*index, "alpha").uris(), std::set<std::string>{uri(3)});
    EXPECT_EQ(search(*index, "delta").uris(), (std::set<std::string>{uri(2), uri(3)}));
    ASSERT_TRUE(index->removeDocument(uri(3)).ok());
    EXPECT_EQ(search(*index, "delta").uris(), std::set<std::string>{uri(2)});
    index.reset();
    // Marked as the current format, so the vocabulary is not taken up twice.
    ASSERT_EQ(runOnFile(path, "DELETE FROM properties WHERE name = 'format' AND value = '4'"), SQLITE_OK);
    auto unmarked = TextIndex::open(path, shippedProperties());
    ASSERT_FALSE(unmarked.ok());
    EXPECT_EQ(unmarked.error().code, TextIndexErrorCode::corrupt);
}

// Files that hold every URI whole keep their documents when the URIs are
// stored without their shared start; keys that are not of that shape (or
// that begin with the marks the stored form uses) come back as they were.
TEST(TextIndexFile, AnIndexWithWholeUrisStoresThemWithoutTheirSharedStart) {
    test::TempDir folder;
    const auto path = folder.path() / "whole.index";
    const std::string odd[] = {"other://elsewhere/p9", std::string("\x01marked"), std::string("\x02also")};
    {
        auto index = openIndex(path);
        ASSERT_NE(index, nullptr);
        ASSERT_TRUE(index->addDocuments({{uri(1), "alpha beta"}, {uri(2), "beta gamma"}}).ok());
    }
    ASSERT_EQ(runOnFile(path,
                        std::string(kWholeUris) +
                        "UPDATE properties SET value = '3' WHERE name = 'format'"),
              SQLITE_OK);
    auto index = openIndex(path);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(search(*index, "beta").uris(), (std::set<std::string>{uri(1), uri(2)}));
    for (const auto& key : odd) ASSERT_TRUE(index->addDocument(key, "beta delta").ok());
    ASSERT_TRUE(index->removeDocument(uri(1)).ok());
    ASSERT_TRUE(index->addDocument(uri(2), "delta").ok());
    EXPECT_EQ(search(*index, "beta").uris(), (std::set<std::string>{odd[0], odd[1], odd[2]}));
    index.reset();
    index = openIndex(path);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(search(*index, "delta").uris(), (std::set<std::string>{uri(2), odd[0], odd[1], odd[2]}));
    ASSERT_TRUE(index->removeDocument(odd[1]).ok());
    EXPECT_EQ(search(*index, "delta").uris(), (std::set<std::string>{uri(2), odd[0], odd[2]}));
    index.reset();
    EXPECT_EQ(fileBytes(path).find(uri(2)), std::string::npos) << "the shared start is stored once";
}
