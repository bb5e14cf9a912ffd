#pragma once

#include <optional>
#include <set>
#include <string>

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

    const std::string& title() const override { return title_; }
    Date date() const override { return date_; }
    const std::string& content() const override { return content_; }
    const std::optional<std::string>& creator() const override { return creator_; }
    const std::string& link() const override { return link_; }
    const std::optional<std::string>& topImageURL() const override { return topImageURL_; }
    const std::optional<std::set<std::string>>& tags() const override { return tags_; }
    const std::string& feedURL() const { return feedURL_; }
    const std::optional<std::string>& feedTitle() const { return feedTitle_; }

private:
    std::string title_;
    Date date_;
    std::string content_;
    std::optional<std::string> creator_;
    std::string link_;
    std::optional<std::string> topImageURL_;
    std::optional<std::set<std::string>> tags_;
    std::string feedURL_;
    std::optional<std::string> feedTitle_;
};

}  // namespace tallowmere
