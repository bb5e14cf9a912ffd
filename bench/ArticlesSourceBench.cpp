// The article source at the size users reach: 1 000 feeds, 100 000 articles
// (100 per feed over the last 60 days, half unread, one in twenty starred),
// each with about 1 KB of text and its HTML as feeds deliver them; the list
// switch also at 300 000.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "support/TempDir.h"

using namespace tallowmere;
using graph::Date;

namespace {

constexpr int kFeeds = 1'000;
constexpr double kDay = 86'400.0;

// About 1 KB of prose made of a few hundred made-up words.
class Prose {
public:
    explicit Prose(std::uint32_t seed) : random_(seed) {
        static const char* syllables[] = {"ba", "ce", "di", "fo", "gu", "la", "me", "ni", "po", "ru",
                                          "sa", "te", "vi", "bro", "sta", "tri", "cho", "ple", "gra", "shu"};
        std::uniform_int_distribution<std::size_t> pick(0, std::size(syllables) - 1);
        std::uniform_int_distribution<int> length(1, 4);
        for (int w = 0; w < 2'000; ++w) {
            std::string word;
            for (int n = length(random_); n > 0; --n) word += syllables[pick(random_)];
            words_.push_back(word);
        }
    }
    std::string text(std::size_t bytes) {
        std::uniform_int_distribution<std::size_t> pick(0, words_.size() - 1);
        std::string out;
        while (out.size() < bytes) {
            if (!out.empty()) out += (out.size() % 90 < 8) ? ". " : " ";
            out += words_[pick(random_)];
        }
        return out + ".";
    }

private:
    std::mt19937 random_;
    std::vector<std::string> words_;
};

std::optional<std::vector<Feed>> fetchFeeds(DataController& controller) {
    std::optional<std::vector<Feed>> feeds;
    auto& context = *controller.backgroundContext();
    context.performAndWait([&] {
        auto results = context.fetch(Feed::fetchRequest());
        if (results.ok()) feeds = makeHandles<Feed>(results->all());
    });
    return feeds;
}

void fill(DataController& controller, int articlesPerFeed) {
    auto& context = *controller.backgroundContext();
    std::mt19937 random(20261210);
    Prose prose(20261211);
    std::uniform_real_distribution<double> age(0, 60 * kDay);
    const double now = Date::now().seconds;
    context.performAndWait([&] {
        for (int f = 0; f < kFeeds; ++f) {
            if (f > 0 && f % 100 == 0 && !context.save().ok()) std::abort();
            Feed feed = Feed::insert(context);
            const std::string name = "feed " + std::to_string(f);
            feed.setName(name);
            feed.setSortName(name);
            feed.setUrl("https://feed" + std::to_string(f) + ".example/rss");
            for (int a = 0; a < articlesPerFeed; ++a) {
                Article article = Article::insert(context);
                const std::string link = "https://feed" + std::to_string(f) + ".example/" + std::to_string(a);
                const double published = now - age(random);
                article.setLink(link);
                article.setTitle("Article " + std::to_string(a) + " of " + name);
                const std::string text = prose.text(1'000);
                article.setTextContent(text);
                article.setPreviewContent("<p>" + text.substr(0, 500) + "</p>\n<p><a href=\"" + link + "\">" +
                                          text.substr(500) + "</a></p>");
                article.setDescriptionContent(text.substr(0, 200));
                article.setCreator("Writer " + std::to_string(a % 7));
                article.setTopImage(link + "/image.jpg");
                article.setDate(Date{published});
                article.setCreatedAt(Date{published + 60});
                article.setTallowmereHash(f * 1'000'000 + a + 1);
                article.setFeed(feed);
                if (a % 2 == 0) article.setUnreadInFeed(feed);
                if (a % 20 == 0) article.setStarredInFeed(feed);
            }
        }
        if (!context.save().ok()) std::abort();
    });
}

// One filled store file per size; each benchmark that changes the store works on a copy.
class StoreTemplate {
public:
    static StoreTemplate& shared(int articlesPerFeed = 100) {
        static std::map<int, std::unique_ptr<StoreTemplate>> instances;
        auto& instance = instances[articlesPerFeed];
        if (!instance) instance.reset(new StoreTemplate(articlesPerFeed));
        return *instance;
    }
    std::filesystem::path freshCopy() {
        const auto target = dir_.path() / ("copy" + std::to_string(++copies_));
        std::filesystem::create_directories(target);
        for (const auto& entry : std::filesystem::directory_iterator(original_.parent_path())) {
            std::filesystem::copy_file(entry.path(), target / entry.path().filename());
        }
        return target / original_.filename();
    }
    const std::filesystem::path& original() const { return original_; }

private:
    explicit StoreTemplate(int articlesPerFeed) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        original_ = dir_.path() / "template" / "Tallowmere.sqlite";
        auto controller = DataController::open(original_);
        if (!controller.ok()) std::abort();
        fill(*controller.value(), articlesPerFeed);
    }
    test::TempDir dir_;
    std::filesystem::path original_;
    int copies_ = 0;
};

// Peak growth of the resident set over a stretch of work, in megabytes.
class PeakMemory {
public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak
        start_ = field("VmRSS:");
    }
    double extraMegabytes() const { return static_cast<double>(field("VmHWM:") - start_) / 1024.0; }

private:
    static long field(const std::string& name) {
        std::ifstream status("/proc/self/status");
        std::string key;
        long value = 0;
        while (status >> key) {
            if (key == name) {
                status >> value;
                return value;
            }
            std::getline(status, key);
        }
        return 0;
    }
    long start_ = 0;
};

struct OpenStore {
    explicit OpenStore(const std::filesystem::path& path) {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(path);
        if (!opened.ok()) std::abort();
        controller = opened.value();
        source = std::make_unique<ArticlesSource>(controller, [c = controller.get()] { return fetchFeeds(*c); });
    }
    ~OpenStore() {
        source.reset();
        dispatch::MainQueue::shared().drain();
    }
    // Lets the main context take in what was saved, outside the timing.
    void settle() {
        std::atomic<bool> done = false;
        controller->saveQueue().async([&] { dispatch::MainQueue::shared().async([&] { done = true; }); });
        dispatch::MainQueue::shared().runUntil([&] { return done.load(); }, std::chrono::minutes(1));
    }
    std::vector<Feed> mainFeeds(int first, int count) {
        std::vector<Feed> feeds;
        auto& context = *controller->mainContext();
        context.performAndWait([&] {
            auto request = Feed::fetchRequest();
            request.sortDescriptors = {{Node::Key::sortName, true, true}};
            auto all = makeHandles<Feed>(context.fetch(request)->all());
            feeds.assign(all.begin() + first, all.begin() + first + count);
        });
        return feeds;
    }
    std::shared_ptr<DataController> controller;
    std::unique_ptr<ArticlesSource> source;
};

// Switching the selection: a rebuild of the list and its first row, each
// time coming from another selection (one small feed, untimed).
void BM_SwitchSelection(benchmark::State& state) {
    OpenStore store(StoreTemplate::shared(static_cast<int>(state.range(2))).original());
    store.source->setGroupByFeed(state.range(1) != 0);
    store.source->setSortUnreadAscending(true);
    const ArticlesSourceFeedsInfo elsewhere(store.mainFeeds(999, 1), std::nullopt);
    ArticlesSourceFeedsInfo target;
    switch (state.range(0)) {
    case 0: target = ArticlesSourceFeedsInfo(std::nullopt, std::nullopt); break;                      // all 100 000
    case 1: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::unread); break;      // 50 000 unread
    case 2: target = ArticlesSourceFeedsInfo(store.mainFeeds(10, 1), std::nullopt); break;            // one feed
    case 3: target = ArticlesSourceFeedsInfo(store.mainFeeds(0, 50), std::nullopt); break;            // a folder of 50
    case 4: target = ArticlesSourceFeedsInfo(store.mainFeeds(300, 200), ArticlesSourceFilter::unread); break;
    case 5: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::today); break;
    default: target = ArticlesSourceFeedsInfo(std::nullopt, ArticlesSourceFilter::starred); break;
    }
    auto& context = *store.controller->mainContext();
    for (auto _ : state) {
        state.PauseTiming();
        store.source->setFeedsInfo(elsewhere);
        state.ResumeTiming();
        store.source->setFeedsInfo(target);
        context.performAndWait([&] {
            auto first = store.source->article(0);
            if (first) benchmark::DoNotOptimize(first->title());
        });
    }
    state.counters["rows"] = static_cast<double>(store.source->numberOfArticles());
}
BENCHMARK(BM_SwitchSelection)
    ->ArgNames({"selection", "grouped", "perFeed"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}, {100, 300}})
    ->Unit(benchmark::kMillisecond);

void BM_UnreadCount(benchmark::State& state) {
    OpenStore store(StoreTemplate::shared().original());
    for (auto _ : state) benchmark::DoNotOptimize(store.source->articlesCount(ArticlesSourceFilter::unread));
    state.counters["unread"] = static_cast<double>(store.source->articlesCount(ArticlesSourceFilter::unread));
}
BENCHMARK(BM_UnreadCount)->Unit(benchmark::kMillisecond);

// Every article of the store unread, then all feeds marked read.
void BM_MarkAllFeedsAsRead(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<OpenStore>(StoreTemplate::shared().freshCopy());
        auto& context = *store->controller->backgroundContext();
        context.performAndWait([&] {
            for (const Article& article : makeHandles<Article>(context.fetch(Article::fetchRequest())->all())) {
                article.setUnreadInFeed(article.feed());
            }
            if (!context.save().ok()) std::abort();
        });
        store->settle();
        const std::size_t unread = store->source->articlesCount(ArticlesSourceFilter::unread);
        state.ResumeTiming();

        // Marking runs on the background context alone; the main context's
        // merge of the saved changes comes after, untimed.
        PeakMemory peak;
        std::promise<void> marked;
        store->source->markAllFeedsAsRead([&] { marked.set_value(); });
        marked.get_future().wait();

        state.PauseTiming();
        state.counters["extra_MB"] = peak.extraMegabytes();
        store->settle();
        state.counters["marked"] = static_cast<double>(unread);
        if (store->source->articlesCount(ArticlesSourceFilter::unread) != 0) state.SkipWithError("articles left unread");
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MarkAllFeedsAsRead)->Unit(benchmark::kMillisecond)->Iterations(3);

// The removal over the whole store: about half of each feed's articles are
// older than 30 days, at most 50 per feed go.
void BM_RemoveOldArticles(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<OpenStore>(StoreTemplate::shared().freshCopy());
        state.ResumeTiming();

        std::atomic<long> removed = -1;
        store->source->removeOldArticles([&](std::vector<Article> articles) { removed = static_cast<long>(articles.size()); });
        dispatch::MainQueue::shared().runUntil([&] { return removed.load() >= 0; }, std::chrono::minutes(2));

        state.PauseTiming();
        state.counters["removed"] = static_cast<double>(removed.load());
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RemoveOldArticles)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
