#include "cloud/CloudArticle.h"

#include <utility>

namespace tallowmere {

CloudArticle::CloudArticle(std::string title, Date date, std::string content, std::optional<std::string> creator,
                           std::string link, std::optional<std::string> topImageURL,
                           std::optional<std::set<std::string>> tags, std::string feedURL,
                           std::optional<std::string> feedTitle)
    : title_(std::move(title)),
      date_(date),
      content_(std::move(content)),
      creator_(std::move(creator)),
      link_(std::move(link)),
      topImageURL_(std::move(topImageURL)),
      tags_(std::move(tags)),
      feedURL_(std::move(feedURL)),
      feedTitle_(std::move(feedTitle)) {}

}  // namespace tallowmere
