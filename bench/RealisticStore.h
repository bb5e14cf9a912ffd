// A store as a user's after some months: feeds of articles with about 1 KB
// of text each and their HTML as feeds deliver them, half of them unread,
// one in twenty starred. Shared by the benchmarks of the paths that read it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"

namespace tallowmere::bench {

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

struct RealisticStoreShape {
    int feeds = 1'000;
    int articlesPerFeed = 100;
    // Articles are spread over this many days before now.
    double days = 60;
    // The feed's address and the entity tag its server last sent (none: no tag).
    std::function<std::string(int feed)> feedURL = [](int feed) {
        return "https://feed" + std::to_string(feed) + ".example/rss";
    };
    std::function<std::string(int feed)> eTag;
};

inline void fillRealisticStore(DataController& controller, const RealisticStoreShape& shape) {
    constexpr double day = 86'400.0;
    auto& context = *controller.backgroundContext();
    std::mt19937 random(20261210);
    Prose prose(20261211);
    std::uniform_real_distribution<double> age(0, shape.days * day);
    const double now = graph::Date::now().seconds;
    context.performAndWait([&] {
        for (int f = 0; f < shape.feeds; ++f) {
            if (f > 0 && f % 100 == 0 && !context.save().ok()) std::abort();
            Feed feed = Feed::insert(context);
            const std::string name = "feed " + std::to_string(f);
            feed.setName(name);
            feed.setSortName(name);
            feed.setUrl(shape.feedURL(f));
            if (shape.eTag) feed.setHttpETag(shape.eTag(f));
            for (int a = 0; a < shape.articlesPerFeed; ++a) {
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
                article.setDate(graph::Date{published});
                article.setCreatedAt(graph::Date{published + 60});
                article.setTallowmereHash(f * 1'000'000 + a + 1);
                article.setFeed(feed);
                if (a % 2 == 0) article.setUnreadInFeed(feed);
                if (a % 20 == 0) article.setStarredInFeed(feed);
            }
        }
        if (!context.save().ok()) std::abort();
    });
}

}  // namespace tallowmere::bench
