#include "store/StoredModel.h"

#include <cstdio>
#include <cstdlib>

using tallowmere::graph::AttributeType;
using tallowmere::graph::DeleteRule;
using tallowmere::graph::ModelDescription;

namespace tallowmere {
namespace {

ModelDescription build() {
    ModelDescription model;
    model.entity("Node")
        .attribute("name", AttributeType::string)
        .attribute("priority", AttributeType::integer16)
        .attribute("sortName", AttributeType::string)
        .attribute("sortValue", AttributeType::integer64)
        .index({"sortName"});
    model.entity("Feed", "Node")
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("url", AttributeType::string)
        .attribute("foldedURL", AttributeType::string)
        .attribute("httpETag", AttributeType::string)
        .attribute("httpLastModified", AttributeType::string)
        .attribute("icon", AttributeType::binary)
        .attribute("lastUpdate", AttributeType::date)
        .attribute("newsletterType", AttributeType::integer16)
        .attribute("notifyUpdates", AttributeType::boolean)
        .attribute("createdAt", AttributeType::date)
        .orderedToMany("articles", "Article", "feed", DeleteRule::cascade)
        .toOne("folder", "Folder", "feeds")
        .toMany("unreadArticles", "Article", "unreadInFeed")
        .toMany("starredArticles", "Article", "starredInFeed")
        .index({"tallowmereHash"})
        .index({"url"})
        .index({"foldedURL"});
    model.entity("Folder", "Node")
        .attribute("closed", AttributeType::boolean)
        .toMany("feeds", "Feed", "folder", DeleteRule::cascade);
    model.entity("Article")
        .attribute("tallowmereHash", AttributeType::integer64)
        .attribute("createdAt", AttributeType::date)
        .attribute("date", AttributeType::date)
        .attribute("title", AttributeType::string)
        .attribute("creator", AttributeType::string)
        .attribute("link", AttributeType::string)
        .attribute("previewContent", AttributeType::string)
        .attribute("textContent", AttributeType::string)
        .attribute("descriptionContent", AttributeType::string)
        .attribute("isFullTextContent", AttributeType::boolean)
        .attribute("topImage", AttributeType::string)
        .attribute("topVideo", AttributeType::string)
        .attribute("readDate", AttributeType::date)
        .attribute("htmlCompressedData", AttributeType::binary)
        .toOne("feed", "Feed", "articles")
        .toOne("unreadInFeed", "Feed", "unreadArticles")
        .toOne("starredInFeed", "Feed", "starredArticles")
        .toMany("tags", "Tag", "articles")
        .index({"feed", "link"})
        .index({"tallowmereHash"})
        .index({"createdAt"})
        // Hold the columns the article list filters on, in its orders (by
        // date; by feed, then date), so that switching the list never reads
        // the articles' rows. The read state stays out of these: marking
        // many articles read would move every one of their entries. Unread
        // rows have indexes of their own in the same orders, which marking
        // read only shrinks, and the few read after a list was built are
        // found by their read date.
        .index({"date", "starredInFeed", "feed"})
        .index({"feed", "date", "starredInFeed"})
        .index({"date", "feed", "starredInFeed", "unreadInFeed"}, "unreadInFeed")
        .index({"feed", "date", "starredInFeed", "unreadInFeed"}, "unreadInFeed")
        .index({"readDate"}, "readDate")
        .loadOnDemand({"previewContent", "textContent", "htmlCompressedData"})
        // The text repeats the markup's paragraphs, and the markup is never
        // changed after the article is added.
        .compressAgainst("textContent", "previewContent");
    model.entity("Tag").attribute("name", AttributeType::string).toMany("articles", "Article", "tags");
    if (auto problem = model.finalize()) {
        // A fault of this file, found by every test run.
        std::fprintf(stderr, "Fatal error: stored model: %s\n", problem->c_str());
        std::abort();
    }
    return model;
}

}  // namespace

const ModelDescription& StoredModel::description() {
    static const ModelDescription model = build();
    return model;
}

}  // namespace tallowmere
