#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "feeds/RSSArticle.h"
#include "feeds/RemoteArticle.h"

namespace tallowmere {

// An article pushed by the cloud: the fields of every incoming article plus
// the feed it belongs to, by which it is filed.
class CloudArticle final : public RemoteArticle {
public:
    CloudArticle(std::string title, Date date, std::string content, std::optional<std::string> creator,
                 std::string link, std::optional<std::string> topImageURL,
                 std::optional<std::set<std::string>> tags, std::string feedURL,
                 std::optional<std::string> feedTitle);
    CloudArticle(const CloudArticle&) = default;
    CloudArticle& operator=(const CloudArticle&) = default;
    CloudArticle(CloudArticle&&) = default;
    CloudArticle& operator=(CloudArticle&&) = default;

    const std::string& title() const override { return article_.title(); }
    Date date() const override { return article_.date(); }
    const std::string& content() const override { return article_.content(); }
    const std::optional<std::string>& creator() const override { return article_.creator(); }
    const std::string& link() const override { return article_.link(); }
    const std::optional<std::string>& topImageURL() const override { return article_.topImageURL(); }
    const std::optional<std::set<std::string>>& tags() const override { return article_.tags(); }
    const std::string& feedURL() const { return feedURL_; }
    const std::optional<std::string>& feedTitle() const { return feedTitle_; }

    // One article of one feed, whatever else differs between two copies of it.
    bool operator==(const CloudArticle& other) const {
        return link() == other.link() && feedURL_ == other.feedURL_;
    }

private:
    RSSArticle article_;  // the article's own fields, as any incoming article has them
    std::string feedURL_;
    std::optional<std::string> feedTitle_;
};

}  // namespace tallowmere

template <>
struct std::hash<tallowmere::CloudArticle> {
    std::size_t operator()(const tallowmere::CloudArticle& article) const noexcept {
        return std::hash<std::string>{}(article.link()) ^ std::hash<std::string>{}(article.feedURL());
    }
};
