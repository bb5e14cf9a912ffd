#include <benchmark/benchmark.h>

#include <string>

#include "platform/readability/Readability.h"

using namespace tallowmere::readability;

namespace {

// A news page of about `size` bytes in the proportions of real ones: a large
// inline script and style block, a mega-menu, the article with inline links,
// ads and a figure, a long comment thread, a sidebar and a link-heavy footer.
std::string newsPage(std::size_t size) {
    std::string page =
        "<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>Council approves the new bridge | "
        "The Daily Example</title><meta property='og:image' content='/images/bridge.jpg'>";
    page += "<script>";
    for (int i = 0; page.size() < size * 3 / 10; ++i)
        page += "window.__state.items.push({id:" + std::to_string(i) +
                ",kind:'teaser',title:'Something happened somewhere',url:'/news/" + std::to_string(i) +
                "'});\n";
    page += "</script><style>";
    for (int i = 0; page.size() < size * 4 / 10; ++i)
        page += ".c" + std::to_string(i) + "{margin:0 auto;padding:4px 8px;color:#333;font:14px/1.4 serif}\n";
    page += "</style></head><body><header class='site-header'><nav class='mega-menu'><ul>";
    for (int i = 0; i < 150; ++i)
        page += "<li class='menu-item'><a href='/section/" + std::to_string(i) + "'>Section " +
                std::to_string(i) + "</a></li>";
    page +=
        "</ul></nav></header><main><article class='story'><h1>Council approves the new bridge</h1>"
        "<div class='share-bar'><a href='#'>Share</a><a href='#'>Tweet</a></div><div class='story-body'>";
    for (int i = 0; i < 30; ++i) {
        page +=
            "<p>Paragraph " + std::to_string(i) +
            ": the council voted, after a long and at times bitter debate, to approve the bridge, which will "
            "link the two halves of the town for the first time since the ferry stopped, and the work, "
            "according to <a href='/people/chair'>the chair</a>, should begin in the spring, weather "
            "permitting, with the approach roads on both banks.</p>";
        if (i % 8 == 7)
            page +=
                "<div class='ad-slot'><iframe src='https://ads.example/slot'></iframe></div>"
                "<figure><img src='/images/p" +
                std::to_string(i) +
                ".jpg' width='800' height='450'>"
                "<figcaption>The river at dusk.</figcaption></figure>";
    }
    page += "</div></article><section id='comments' class='comments'>";
    std::string tail = "</section></main><aside class='sidebar'><ol>";
    for (int i = 0; i < 60; ++i)
        tail += "<li><a href='/most-read/" + std::to_string(i) + "'>A most-read story, number " +
                std::to_string(i) + "</a></li>";
    tail += "</ol></aside><footer class='site-footer'><ul>";
    for (int i = 0; i < 80; ++i)
        tail += "<li><a href='/footer/" + std::to_string(i) + "'>Footer link</a></li>";
    tail += "</ul></footer></body></html>";
    for (int i = 0; page.size() + tail.size() < size; ++i)
        page += "<div class='comment'><p class='comment-author'>Reader " + std::to_string(i) +
                "</p><p>I have lived here for forty years, and I will believe in this bridge when I can walk "
                "across it, not a day before, whatever the council says.</p></div>";
    return page + tail;
}

void BM_ExtractNewsPage(benchmark::State& state) {
    const std::string page = newsPage(static_cast<std::size_t>(state.range(0)) * 1024);
    for (auto _ : state) {
        ReadabilityResult result = Readability::extract(page, "https://news.example/2026/12/bridge.html");
        benchmark::DoNotOptimize(result);
    }
    state.counters["page_bytes"] = static_cast<double>(page.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

}  // namespace

BENCHMARK(BM_ExtractNewsPage)->Arg(300)->Arg(1024)->Unit(benchmark::kMillisecond);
