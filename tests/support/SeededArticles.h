#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/graph/Context.h"
#include "store/Article.h"
#include "store/Feed.h"

namespace tallowmere::test {

// An identity hash for the test articles: never 0.
inline std::int64_t linkHash(const std::string& link) {
    return static_cast<std::int64_t>(std::hash<std::string>{}(link) | 1);
}

// Saves unread articles of one feed, published three days ago, as the sync
// tests' devices hold them; true when the save succeeded.
inline bool seedUnreadArticles(graph::Context& context, const std::vector<std::string>& links) {
    bool saved = false;
    context.performAndWait([&] {
        Feed feed = Feed::insert(context);
        feed.setName("news");
        feed.setUrl("https://news.example/feed");
        for (const auto& link : links) {
            Article article = Article::insert(context);
            article.setLink(link);
            article.setTitle(link);
            article.setDate(graph::Date{graph::Date::now().seconds - 3 * 86400.0});
            article.setFeed(feed);
            article.setUnreadInFeed(feed);
            article.setTallowmereHash(linkHash(link));
        }
        saved = context.save().ok();
    });
    return saved;
}

// The stored articles whose link is one of the links.
inline std::vector<Article> articlesWithLinks(graph::Context& context, const std::vector<std::string>& links) {
    std::vector<Article> found;
    context.performAndWait([&] {
        for (const Article& article : makeHandles<Article>(context.fetch(Article::fetchRequest())->all())) {
            if (std::find(links.begin(), links.end(), article.link().value_or("")) != links.end()) {
                found.push_back(article);
            }
        }
    });
    return found;
}

}  // namespace tallowmere::test
