#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "feeds/RSSParser.h"
#include "platform/feedkit/FeedParser.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

// Fragments that steer mutations into the parser's interesting corners.
const std::vector<std::string> kFragments = {"<",
                                             ">",
                                             "&",
                                             "&nbsp;",
                                             "&#",
                                             "&#x110000;",
                                             "&amp",
                                             "]]>",
                                             "<![CDATA[",
                                             "<!--",
                                             "-->",
                                             "<?xml ",
                                             "\"",
                                             "'",
                                             "</item>",
                                             "<item>",
                                             "<entry>",
                                             "</title>",
                                             "<title>",
                                             "<link href=\"//x\"/>",
                                             "xmlns=\"http://www.w3.org/2005/Atom\"",
                                             "<!DOCTYPE r [<!ENTITY e \"&e2;\"><!ENTITY e2 \"xx\">]>",
                                             "&e;",
                                             "\xff",
                                             "\xc3",
                                             "\xef\xbb\xbf",
                                             "\0",
                                             "{",
                                             "}",
                                             "[",
                                             "]",
                                             ",",
                                             ":",
                                             "\\u",
                                             "\\ud800",
                                             "null",
                                             "\"items\":",
                                             "\"title\":",
                                             "type=\"xhtml\"",
                                             "encoding=\"UTF-16\"",
                                             "Tue, 31 Feb 2003 25:61:61 +9999",
                                             "2003-13-45T99:99:99.9999999999Z"};

std::string mutate(std::string document, std::mt19937& random) {
    int steps = 1 + static_cast<int>(random() % 4);
    for (int s = 0; s < steps; ++s) {
        size_t at = document.empty() ? 0 : random() % (document.size() + 1);
        switch (random() % 6) {
            case 0:  // flip a byte
                if (!document.empty())
                    document[at % document.size()] ^= static_cast<char>(1 + random() % 255);
                break;
            case 1:  // insert a fragment
                document.insert(at, kFragments[random() % kFragments.size()]);
                break;
            case 2:  // delete a run
                if (!document.empty()) document.erase(at % document.size(), random() % 32);
                break;
            case 3:  // duplicate a run
                if (!document.empty()) {
                    size_t from = random() % document.size();
                    document.insert(at, document.substr(from, random() % 64));
                }
                break;
            case 4:  // truncate
                document.resize(at);
                break;
            default:  // random byte
                document.insert(document.begin() + static_cast<std::ptrdiff_t>(at),
                                static_cast<char>(random()));
                break;
        }
    }
    return document;
}

// Reads every uniform field so that a bad string or dangling pointer shows.
size_t touch(const std::optional<RSSFeed>& feed) {
    if (!feed) return 0;
    size_t total = feed->name.size() + feed->link.value_or("").size();
    for (const RSSArticle& article : feed->articles) {
        total += article.title().size() + article.content().size() + article.link().size() +
                 article.creator().value_or("").size();
        if (article.tags())
            for (const auto& tag : *article.tags()) total += tag.size();
    }
    return total;
}

}  // namespace

// A bounded random mutation loop over our fixtures: every outcome must be a
// feed or a clean error, never a crash (run under the sanitizers as well).
TEST(FeedMutation, MutatedFixturesNeverCrashTheParser) {
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(test::fixturePath("feeds")))
        seeds.push_back(test::readFixture("feeds/" + entry.path().filename().string()));
    ASSERT_FALSE(seeds.empty());

    std::mt19937 random(20250110);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int runs = 0, successes = 0;
    size_t touched = 0;
    while (runs < 20000 && std::chrono::steady_clock::now() < deadline) {
        std::string document = mutate(seeds[runs % seeds.size()], random);
        feedkit::Result result = feedkit::FeedParser(document).parse();
        if (result.isSuccess()) ++successes;
        int calls = 0;
        RSSParser::parse(result, [&](std::optional<RSSFeed> feed, std::optional<feedkit::FeedError> error) {
            ++calls;
            touched += touch(feed);
            if (error) touched += error->message.size();
        });
        ASSERT_EQ(calls, 1);
        ++runs;
    }
    EXPECT_GT(runs, 100);
    EXPECT_GT(successes, 0);  // the mutations leave some documents readable
    RecordProperty("runs", runs);
    (void)touched;
}
