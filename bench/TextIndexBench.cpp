// Indexing and searching at the size users reach: 100 000 articles of a title
// and about 1 KB of text.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <random>
#include <string>
#include <vector>

#include "foundation/Resources.h"
#include "platform/textindex/TextIndex.h"
#include "support/TempDir.h"

using namespace tallowmere;
using namespace tallowmere::textindex;

namespace {

constexpr int kDocuments = 100'000;
constexpr std::size_t kTransactionSize = 1'000;

TextIndexProperties shippedProperties() {
    TextIndexProperties properties;
    const nlohmann::json lists = nlohmann::json::parse(Resources::data("StopwordsJSON.json").value());
    for (const char* language : {"en", "it"}) {
        for (const auto& word : lists.at(language)) properties.stopWords.insert(word.get<std::string>());
    }
    return properties;
}

// Readable made-up words, their frequencies following Zipf's law as in real
// prose, with the function words of English mixed in at their usual share.
class ProseGenerator {
public:
    ProseGenerator() : random_(20261210) {
        static const char* onsets[] = {"b", "c", "d", "f",  "g",  "l",  "m",  "n",  "p",  "r",
                                       "s", "t", "v", "br", "st", "tr", "ch", "pl", "gr", "sh"};
        static const char* vowels[] = {"a", "e", "i", "o", "u", "ea", "io", "ou", "é", "ai"};
        std::uniform_int_distribution<int> syllables(1, 4);
        std::uniform_int_distribution<std::size_t> onset(0, std::size(onsets) - 1);
        std::uniform_int_distribution<std::size_t> vowel(0, std::size(vowels) - 1);
        std::vector<double> weights;
        for (int rank = 1; rank <= 30'000; ++rank) {
            std::string word;
            for (int s = syllables(random_); s > 0; --s)
                word += std::string(onsets[onset(random_)]) + vowels[vowel(random_)];
            if (rank % 3 == 0) word += "n";
            words_.push_back(word);
            weights.push_back(1.0 / rank);
        }
        zipf_ = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
        functionWords_ = {"the", "of", "and",  "to", "in",  "is", "that",
                          "for", "it", "with", "as", "was", "on", "by"};
    }

    std::string sentence(int words) {
        std::string text;
        std::bernoulli_distribution function(0.4);
        std::uniform_int_distribution<std::size_t> pick(0, functionWords_.size() - 1);
        for (int i = 0; i < words; ++i) {
            if (!text.empty()) text += ' ';
            std::string word = function(random_) ? functionWords_[pick(random_)] : words_[zipf_(random_)];
            if (i == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
            text += word;
        }
        return text + ". ";
    }

    std::string document() {
        std::string text = sentence(8);  // the title
        while (text.size() < 1100) text += sentence(12);
        return text;
    }

    const std::string& word(std::size_t rank) const { return words_.at(rank); }

private:
    std::mt19937_64 random_;
    std::vector<std::string> words_;
    std::vector<std::string> functionWords_;
    std::discrete_distribution<std::size_t> zipf_;
};

std::string uri(int number) {
    return "x-tallowmere://0F6C1D2E-4B7A-4E8B-9C51-7D3E2A1B0C9F/Article/p" + std::to_string(number);
}

std::vector<TextIndexDocument> makeDocuments(ProseGenerator& prose, int first, int count) {
    std::vector<TextIndexDocument> documents;
    documents.reserve(static_cast<std::size_t>(count));
    for (int i = first; i < first + count; ++i) documents.push_back({uri(i), prose.document()});
    return documents;
}

struct BuiltIndex {
    test::TempDir folder;
    std::unique_ptr<TextIndex> index;
    ProseGenerator prose;
};

// Fills an index with every document, in transactions; seconds taken.
double fill(TextIndex& index, const std::vector<TextIndexDocument>& documents) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < documents.size(); i += kTransactionSize) {
        const auto end =
            documents.begin() + static_cast<std::ptrdiff_t>(std::min(documents.size(), i + kTransactionSize));
        const std::vector<TextIndexDocument> batch(documents.begin() + static_cast<std::ptrdiff_t>(i), end);
        if (!index.addDocuments(batch).ok()) std::abort();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The full index, built once and shared by the search benchmarks.
BuiltIndex& builtIndex() {
    static BuiltIndex* built = [] {
        auto* b = new BuiltIndex;
        b->index = TextIndex::open(b->folder.path() / "Tallowmere.index", shippedProperties()).value();
        fill(*b->index, makeDocuments(b->prose, 0, kDocuments));
        return b;
    }();
    return *built;
}

// Megabytes of the file's pages by what they hold: the full-text table, the
// documents' rows and the other tables with their indexes.
std::map<std::string, double> partSizes(const std::filesystem::path& file) {
    std::map<std::string, double> sizes;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(file.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        const char* sql =
            "SELECT CASE WHEN name LIKE 'terms%' THEN 'fulltext' WHEN name = 'documents' THEN 'documents' "
            "ELSE 'other' END, SUM(pgsize) FROM dbstat GROUP BY 1";
        if (sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW)
                sizes[reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))] =
                    static_cast<double>(sqlite3_column_int64(statement, 1)) / 1e6;
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(connection);
    return sizes;
}

void BM_IndexDocumentsInTransactions(benchmark::State& state) {
    ProseGenerator prose;
    const std::vector<TextIndexDocument> documents = makeDocuments(prose, 0, kDocuments);
    std::size_t bytes = 0;
    for (const auto& document : documents) bytes += document.text.size();
    for (auto _ : state) {
        test::TempDir folder;
        auto index = TextIndex::open(folder.path() / "Tallowmere.index", shippedProperties()).value();
        const double seconds = fill(*index, documents);
        state.SetIterationTime(seconds);
        index.reset();
        const auto file = folder.path() / "Tallowmere.index";
        state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
        for (const auto& [part, megabytes] : partSizes(file)) state.counters[part + "_MB"] = megabytes;
    }
    state.counters["documents/s"] =
        benchmark::Counter(static_cast<double>(kDocuments), benchmark::Counter::kIsRate);
    state.counters["text_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_IndexDocumentsInTransactions)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// One transaction per document, as when articles are indexed one by one
// while feeds refresh; into the full index.
void BM_IndexSingleDocuments(benchmark::State& state) {
    BuiltIndex& built = builtIndex();
    const std::vector<TextIndexDocument> documents = makeDocuments(built.prose, kDocuments, 2'000);
    for (auto _ : state) {
        for (const auto& document : documents) {
            if (!built.index->addDocument(document.uri, document.text).ok()) std::abort();
        }
    }
    state.counters["documents/s"] =
        benchmark::Counter(static_cast<double>(documents.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IndexSingleDocuments)->Iterations(1)->Unit(benchmark::kMillisecond);

// A two-word search as typed: a common word, then the first letters of a rarer one.
void searchBenchmark(benchmark::State& state, bool firstBatchOnly) {
    BuiltIndex& built = builtIndex();
    const std::string query = built.prose.word(static_cast<std::size_t>(state.range(0))) + " " +
                              built.prose.word(static_cast<std::size_t>(state.range(1))).substr(0, 3);
    std::size_t matches = 0;
    for (auto _ : state) {
        SearchCancellation cancellation;
        matches = 0;
        auto result = built.index->search(query, cancellation, [&](std::vector<std::string> uris) {
            matches += uris.size();
            if (firstBatchOnly) cancellation.cancel();
        });
        if (!result.ok()) std::abort();
    }
    state.SetLabel("\"" + query + "\"");
    state.counters["matches"] = static_cast<double>(matches);
}

void BM_PrefixSearchFirstBatch(benchmark::State& state) { searchBenchmark(state, true); }
void BM_PrefixSearchAllBatches(benchmark::State& state) { searchBenchmark(state, false); }
BENCHMARK(BM_PrefixSearchFirstBatch)
    ->Args({10, 400})
    ->Args({200, 3000})
    ->Args({5, 20})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixSearchAllBatches)
    ->Args({10, 400})
    ->Args({200, 3000})
    ->Args({5, 20})
    ->Unit(benchmark::kMillisecond);

// Removing documents one by one, as old articles go after a refresh; from
// the full index (the documents go back in afterwards, untimed).
void BM_RemoveSingleDocuments(benchmark::State& state) {
    BuiltIndex& built = builtIndex();
    ProseGenerator prose;
    const std::vector<TextIndexDocument> documents = makeDocuments(prose, 0, 2'000);
    for (auto _ : state) {
        for (const auto& document : documents) {
            if (!built.index->removeDocument(document.uri).ok()) std::abort();
        }
        state.PauseTiming();
        if (!built.index->addDocuments(documents).ok()) std::abort();
        state.ResumeTiming();
    }
    state.counters["documents/s"] =
        benchmark::Counter(static_cast<double>(documents.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RemoveSingleDocuments)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Compact(benchmark::State& state) {
    BuiltIndex& built = builtIndex();
    for (auto _ : state) {
        if (!built.index->compact().ok()) std::abort();
    }
}
BENCHMARK(BM_Compact)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
