#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/HTMLText.h"
#include "foundation/URLIdentityHash.h"

using namespace tallowmere;

namespace {

const std::vector<std::string> kUnits = {
    "<p>An article. With <a href=\"https://example.com/x\">a link</a> &amp; text&hellip;</p>\n",
    "<",
    "<script ",
    "<a ",
    " ",
};

std::string repeated(const std::string& unit, std::size_t size) {
    std::string out;
    out.reserve(size + unit.size());
    while (out.size() < size) out += unit;
    return out;
}

// Arguments: unit index, size in bytes, keepLinks.
void BM_StrippingHTML(benchmark::State& state) {
    std::string input = repeated(kUnits[static_cast<std::size_t>(state.range(0))], static_cast<std::size_t>(state.range(1)));
    if (state.range(0) == 4) input[input.size() / 2] = '\n';  // one line feed in a long white-space run
    const bool keepLinks = state.range(2) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(strippingHTML(input, keepLinks));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_StrippingHTML)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1 << 20, 4 << 20, 16 << 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_DecodingHTMLEntities(benchmark::State& state) {
    const std::string input = repeated("x &amp; &#65; &#x42; &eacute; &bogus; &", static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(decodingHTMLEntities(std::string_view(input)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}
BENCHMARK(BM_DecodingHTMLEntities)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

void BM_URLIdentityHash(benchmark::State& state) {
    const std::string url = "https://www.Example.com:8443/news/2024/05/some-article-title/?utm_source=feed&id=12345#top";
    for (auto _ : state) benchmark::DoNotOptimize(URLIdentityHash::hash(url));
}
BENCHMARK(BM_URLIdentityHash);

}  // namespace
