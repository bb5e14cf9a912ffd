#pragma once

#include "cloud/CloudFeedsManager.h"

namespace tallowmere {

// Without cloud there is no mirror: queries find nothing, the latest
// article fails as for a signed-out user, and nothing is kept to cancel.
class NullCloudFeedsManager final : public CloudFeedsManager {
public:
    void fetchArticles(const std::vector<std::string>& feedURLs, std::optional<std::int64_t> limit,
                       ArticlesCompletion completion) override;
    std::shared_ptr<cloud::Operation> fetchLatestArticle(const std::string& feedURL,
                                                         LatestArticleCompletion completion) override;
    void cancelOperation(const std::string& key) override;
    void cancelAllOperations() override;
};

}  // namespace tallowmere
