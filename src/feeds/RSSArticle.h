#pragma once

#include "feeds/RemoteArticle.h"

namespace tallowmere {

// One item of a feed in the uniform form, whatever the document's format.
// A plain value: copied, without identity or equality.
class RSSArticle final : public RemoteArticle {
public:
    RSSArticle(std::string title, Date date, std::string content, std::optional<std::string> creator,
               std::string link, std::optional<std::string> topImageURL,
               std::optional<std::set<std::string>> tags);
    RSSArticle(const RSSArticle&) = default;
    RSSArticle& operator=(const RSSArticle&) = default;
    RSSArticle(RSSArticle&&) = default;
    RSSArticle& operator=(RSSArticle&&) = default;

    const std::string& title() const override { return title_; }
    Date date() const override { return date_; }
    const std::string& content() const override { return content_; }
    const std::optional<std::string>& creator() const override { return creator_; }
    const std::string& link() const override { return link_; }
    const std::optional<std::string>& topImageURL() const override { return topImageURL_; }
    const std::optional<std::set<std::string>>& tags() const override { return tags_; }

private:
    std::string title_;
    Date date_;
    std::string content_;
    std::optional<std::string> creator_;
    std::string link_;
    std::optional<std::string> topImageURL_;
    std::optional<std::set<std::string>> tags_;
};

}  // namespace tallowmere
