// Parse throughput of the feed parser into the uniform model, beside the time
// libxml2 alone takes to read the same bytes into a tree and free it.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <string>

#include "feeds/RSSParser.h"
#include "foundation/Logger.h"
#include "platform/feedkit/FeedParser.h"

using namespace tallowmere;

namespace {

constexpr size_t kTargetSize = 5u * 1024u * 1024u;
constexpr int kItems = 2000;

// About 2.6 KB of escaped HTML per item, as article bodies in feeds look.
std::string body(int index, size_t size) {
    std::string html = "&lt;p&gt;Paragraph " + std::to_string(index) +
                       " with &lt;a href=&quot;https://bench.example/x&quot;&gt;a link&lt;/a&gt; and "
                       "&lt;em&gt;emphasis&lt;/em&gt;. ";
    std::string out;
    while (out.size() < size)
        out += html + "Lorem ipsum dolor sit amet, consectetur adipiscing elit &amp; more. ";
    out.resize(size);
    while (!out.empty() && out.back() != ' ') out.pop_back();  // never cut an entity
    return out;
}

std::string rssDocument() {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">"
        "<channel><title>Bench RSS</title><link>https://bench.example/</link><description>d</description>\n";
    size_t perItem = kTargetSize / kItems - 420;
    for (int i = 0; i < kItems; ++i) {
        std::string n = std::to_string(i);
        doc += "<item><title>Item number " + n +
               " of the bench feed</title><link>https://bench.example/items/" + n +
               "</link><guid isPermaLink=\"false\">bench-" + n +
               "</guid><pubDate>Tue, 10 Jun 2003 04:00:00 GMT</pubDate><dc:creator>Writer " + n +
               "</dc:creator><category>Bench</category><category>Items</category><description>" +
               body(i, perItem) + "</description></item>\n";
    }
    doc += "</channel></rss>\n";
    return doc;
}

std::string atomDocument() {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">"
        "<title>Bench Atom</title><link "
        "href=\"https://bench.example/\"/><updated>2025-01-01T00:00:00Z</updated>\n";
    size_t perEntry = kTargetSize / kItems - 560;
    for (int i = 0; i < kItems; ++i) {
        std::string n = std::to_string(i);
        doc += "<entry><title>Entry number " + n + "</title><id>tag:bench.example,2025:" + n +
               "</id><link rel=\"alternate\" type=\"text/html\" href=\"https://bench.example/entries/" + n +
               "\"/><link rel=\"enclosure\" type=\"image/jpeg\" href=\"https://bench.example/" + n +
               ".jpg\"/><updated>2025-01-01T12:00:00.000+01:00</updated><author><name>Writer " + n +
               "</name></author><category term=\"bench\"/><summary>Summary " + n +
               "</summary><content type=\"html\">" + body(i, perEntry) + "</content></entry>\n";
    }
    doc += "</feed>\n";
    return doc;
}

const std::string& rss() {
    static const std::string doc = rssDocument();
    return doc;
}

const std::string& atom() {
    static const std::string doc = atomDocument();
    return doc;
}

void parseIntoUniformModel(benchmark::State& state, const std::string& doc) {
    size_t articles = 0;
    for (auto _ : state) {
        feedkit::Result result = feedkit::FeedParser(doc).parse();
        RSSParser::parse(result, [&](std::optional<RSSFeed> feed, std::optional<feedkit::FeedError>) {
            if (feed) articles = feed->articles.size();
        });
        benchmark::DoNotOptimize(articles);
    }
    if (articles != kItems) state.SkipWithError("the bench document did not parse into every article");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
    state.counters["doc_MB"] = static_cast<double>(doc.size()) / 1e6;
}

void libxml2ReadOnly(benchmark::State& state, const std::string& doc) {
    xmlInitParser();
    for (auto _ : state) {
        xmlDoc* tree = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
        benchmark::DoNotOptimize(tree);
        xmlFreeDoc(tree);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

// About 51 MB (just under the size limit) in 950 000 small items: only the first 5000 are read, so
// time and memory stay those of a small feed. Run alone under
// "/usr/bin/time -v" to see the peak memory of the whole read.
std::string hugeFeedDocument() {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>Huge</title>"
        "<link>https://bench.example/</link>\n";
    doc.reserve(50u * 1000u * 1000u);
    for (int i = 0; i < 950000; ++i) {
        std::string n = std::to_string(i);
        doc += "<item><title>" + n + "</title><guid>" + n + "</guid></item>\n";
    }
    doc += "</channel></rss>\n";
    return doc;
}

void BM_HugeFeed_FeedParserToUniformModel(benchmark::State& state) {
    static const std::string doc = hugeFeedDocument();
    Logger::setLevel(LoggerLevel::error);  // the cut is logged on every run
    size_t articles = 0;
    for (auto _ : state) {
        state.PauseTiming();  // the fetcher hands its bytes over; copying 51 MB is not the parser's cost
        feedkit::FeedParser parser(doc);
        state.ResumeTiming();
        feedkit::Result result = parser.parse();
        RSSParser::parse(result, [&](std::optional<RSSFeed> feed, std::optional<feedkit::FeedError>) {
            if (feed) articles = feed->articles.size();
        });
        benchmark::DoNotOptimize(articles);
    }
    if (articles != feedkit::FeedParser::kMaximumItems) state.SkipWithError("the item limit did not hold");
    state.counters["doc_MB"] = static_cast<double>(doc.size()) / 1e6;
    state.counters["articles"] = static_cast<double>(articles);
}

void BM_Rss20_FeedParserToUniformModel(benchmark::State& state) { parseIntoUniformModel(state, rss()); }
void BM_Rss20_Libxml2ReadMemoryAndFree(benchmark::State& state) { libxml2ReadOnly(state, rss()); }
void BM_Atom_FeedParserToUniformModel(benchmark::State& state) { parseIntoUniformModel(state, atom()); }
void BM_Atom_Libxml2ReadMemoryAndFree(benchmark::State& state) { libxml2ReadOnly(state, atom()); }

}  // namespace

BENCHMARK(BM_Rss20_FeedParserToUniformModel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rss20_Libxml2ReadMemoryAndFree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Atom_FeedParserToUniformModel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Atom_Libxml2ReadMemoryAndFree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeFeed_FeedParserToUniformModel)->Unit(benchmark::kMillisecond);
