#include "cloud/CloudArticle.h"

#include <utility>

namespace tallowmere {

CloudArticle::CloudArticle(std::string title, Date date, std::string content, std::optional<std::string> creator,
                           std::string link, std::optional<std::string> topImageURL,
                           std::optional<std::set<std::string>> tags, std::string feedURL,
                           std::optional<std::string> feedTitle)
    : article_(std::move(title), date, std::move(content), std::move(creator), std::move(link),
               std::move(topImageURL), std::move(tags)),
      feedURL_(std::move(feedURL)),
      feedTitle_(std::move(feedTitle)) {}

}  // namespace tallowmere
