#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cloud/CloudArticle.h"
#include "platform/cloud/Record.h"

namespace tallowmere {

// The public "article" records of the mirror, written by a service outside
// the program, and how one becomes a CloudArticle.
class CloudArticleRecord {
public:
    static constexpr const char* recordType = "article";
    static constexpr const char* titleKey = "title";
    static constexpr const char* linkKey = "link";
    static constexpr const char* authorKey = "author";
    static constexpr const char* contentKey = "content";
    static constexpr const char* contentAssetKey = "content_asset";
    static constexpr const char* feedTitleKey = "feed_title";
    static constexpr const char* feedURLKey = "feed_url";
    static constexpr const char* publishedDateKey = "published_date";
    static constexpr const char* topImageURLKey = "top_image_url";

    // Queries read the content file when the record has one; a pushed
    // record is fetched without it and carries its content as text.
    enum class Content { fileFirst, textOnly };

    // Nothing when a required value is missing or of another kind, or the
    // content file cannot be read as UTF-8. Every text is trimmed.
    static std::optional<CloudArticle> article(const cloud::Record& record, Content content);

    // The keys a pushed record is fetched with.
    static std::vector<std::string> pushedKeys();

    // The mirror's form of a feed URL: lower-cased, every "/" taken off both ends.
    static std::string normalizedFeedURL(const std::string& url);

private:
    static std::optional<std::string> content(const cloud::Record& record, Content content);
    static std::optional<std::string> optionalText(const cloud::Record& record, const char* key);
};

}  // namespace tallowmere
