// Indexing stored articles through SearchManager at the size users reach
// (100 000 articles of a title, about 1 KB of text and a few tags), and the
// first batch of a search as typed into the search field over them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "sources/SearchManager.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Tag.h"
#include "support/TempDir.h"

using namespace tallowmere;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kArticles = 100'000;
// Articles stored and indexed together, as one refresh of a busy feed list would.
constexpr int kChunk = 1'000;

// Readable made-up words whose frequencies follow Zipf's law as in real prose,
// with English function words mixed in at their usual share.
class Prose {
public:
    Prose() : random_(20261210) {
        static const char* onsets[] = {"b", "c", "d", "f",  "g",  "l",  "m",  "n",  "p",  "r",
                                       "s", "t", "v", "br", "st", "tr", "ch", "pl", "gr", "sh"};
        static const char* vowels[] = {"a", "e", "i", "o", "u", "ea", "io", "ou", "é", "ai"};
        std::uniform_int_distribution<int> syllables(1, 4);
        std::uniform_int_distribution<std::size_t> onset(0, std::size(onsets) - 1);
        std::uniform_int_distribution<std::size_t> vowel(0, std::size(vowels) - 1);
        std::vector<double> weights;
        for (int rank = 1; rank <= 30'000; ++rank) {
            std::string word;
            for (int s = syllables(random_); s > 0; --s) word += std::string(onsets[onset(random_)]) + vowels[vowel(random_)];
            if (rank % 3 == 0) word += "n";
            words_.push_back(word);
            weights.push_back(1.0 / rank);
        }
        zipf_ = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
    }

    std::string sentence(int count) {
        static const char* functionWords[] = {"the", "of", "and", "to", "in", "is", "that",
                                              "for", "it",  "with", "as", "was", "on", "by"};
        std::bernoulli_distribution function(0.4);
        std::uniform_int_distribution<std::size_t> pick(0, std::size(functionWords) - 1);
        std::string text;
        for (int i = 0; i < count; ++i) {
            if (!text.empty()) text += ' ';
            text += function(random_) ? functionWords[pick(random_)] : words_[zipf_(random_)];
        }
        return text;
    }

    std::string body() {
        std::string text;
        while (text.size() < 1100) text += sentence(12) + ". ";
        return text;
    }

    int tagCount() { return std::uniform_int_distribution<int>(0, 3)(random_); }
    std::size_t pick(std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random_); }
    const std::string& word(std::size_t rank) const { return words_.at(rank); }

private:
    std::mt19937_64 random_;
    std::vector<std::string> words_;
    std::discrete_distribution<std::size_t> zipf_;
};

// A store and an index filled with every article, built once by the indexing
// benchmark and searched by the others.
struct Library {
    test::TempDir folder;
    std::shared_ptr<DataController> controller;
    std::unique_ptr<SearchManager> manager;
    Prose prose;
    double indexingSeconds = 0;
};

Library& library() {
    static Library* built = [] {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto* made = new Library;
        made->controller = DataController::open(made->folder.path() / "Tallowmere" / "Tallowmere.sqlite").value();
        made->manager = std::make_unique<SearchManager>(made->folder.path() / "Tallowmere" / "Tallowmere.index",
                                                        made->controller);
        graph::Context& context = *made->controller->backgroundContext();
        std::vector<Tag> tags;
        context.performAndWait([&] {
            for (int i = 0; i < 40; ++i) {
                Tag tag = Tag::insert(context);
                tag.setName("topic" + made->prose.word(static_cast<std::size_t>(1000 + i)));
                tags.push_back(tag);
            }
        });
        for (int first = 0; first < kArticles; first += kChunk) {
            std::vector<Article> chunk;
            context.performAndWait([&] {
                for (int i = 0; i < kChunk; ++i) {
                    Article article = Article::insert(context);
                    article.setTitle(made->prose.sentence(8));
                    article.setTextContent(made->prose.body());
                    for (int t = made->prose.tagCount(); t > 0; --t) article.addTag(tags[made->prose.pick(tags.size())]);
                    chunk.push_back(article);
                }
                if (!context.save().ok()) std::abort();
            });
            // Timed: indexing the stored chunk inside its context, as the feeds
            // manager does while merging, until the search queue has written it.
            const auto start = Clock::now();
            context.performAndWait([&] {
                for (const Article& article : chunk) made->manager->indexArticle(article);
            });
            made->manager->searchQueue().sync([] {});
            made->indexingSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
        return made;
    }();
    return *built;
}

// A database file with its write-ahead log, in megabytes.
double megabytes(const std::filesystem::path& file) {
    double bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(file.string() + suffix, error);
        if (!error) bytes += static_cast<double>(size);
    }
    return bytes / 1e6;
}

void BM_IndexArticlesThroughManager(benchmark::State& state) {
    for (auto _ : state) {
        Library& built = library();
        state.SetIterationTime(built.indexingSeconds);
        state.counters["file_MB"] = megabytes(built.folder.path() / "Tallowmere" / "Tallowmere.index");
        state.counters["store_MB"] = megabytes(built.folder.path() / "Tallowmere" / "Tallowmere.sqlite");
    }
    state.counters["articles/s"] = benchmark::Counter(static_cast<double>(kArticles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IndexArticlesThroughManager)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The debug re-index: every stored article fetched again and indexed, each
// replacing its document.
void BM_ReindexStoredArticles(benchmark::State& state) {
    Library& built = library();
    graph::Context& context = *built.controller->backgroundContext();
    for (auto _ : state) {
        context.performAndWait([&] {
            graph::FetchRequest request = Article::fetchRequest();
            request.batchSize = 500;
            auto fetched = context.fetch(request);
            if (!fetched.ok()) std::abort();
            for (const graph::ObjectPtr& object : fetched.value()) built.manager->indexArticle(Article(object));
        });
        built.manager->searchQueue().sync([] {});
    }
    state.counters["articles/s"] = benchmark::Counter(static_cast<double>(kArticles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReindexStoredArticles)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// Two words as typed: a whole word, then the first three letters of another.
// Timed from the call to the arrival of the first batch.
void BM_TwoTermPrefixSearchFirstBatch(benchmark::State& state) {
    Library& built = library();
    const std::string query = built.prose.word(static_cast<std::size_t>(state.range(0))) + " " +
                              built.prose.word(static_cast<std::size_t>(state.range(1))).substr(0, 3);
    std::size_t matches = 0;
    for (auto _ : state) {
        std::promise<Clock::time_point> firstBatch;
        std::promise<void> completed;
        bool first = true;
        matches = 0;
        const auto start = Clock::now();
        built.manager->search(
            query,
            [&](std::vector<graph::ObjectID> ids) {
                if (first) firstBatch.set_value(Clock::now());
                first = false;
                matches += ids.size();
            },
            [&] {
                if (first) firstBatch.set_value(Clock::now());
                completed.set_value();
            });
        const auto arrived = firstBatch.get_future().get();
        completed.get_future().wait();
        state.SetIterationTime(std::chrono::duration<double>(arrived - start).count());
    }
    state.SetLabel("\"" + query + "\"");
    state.counters["matches"] = static_cast<double>(matches);
}
BENCHMARK(BM_TwoTermPrefixSearchFirstBatch)
    ->Args({10, 400})
    ->Args({200, 3000})
    ->Args({5, 20})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
