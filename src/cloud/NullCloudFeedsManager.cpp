#include "cloud/NullCloudFeedsManager.h"

#include "cloud/BackgroundCompletion.h"

namespace tallowmere {

void NullCloudFeedsManager::fetchArticles(const std::vector<std::string>&, std::optional<std::int64_t>,
                                          ArticlesCompletion completion) {
    completeInBackground(std::move(completion), std::vector<CloudArticle>{}, false);
}

std::shared_ptr<cloud::Operation> NullCloudFeedsManager::fetchLatestArticle(const std::string&,
                                                                            LatestArticleCompletion completion) {
    completeInBackground(std::move(completion), std::optional<std::string>{},
                         std::optional<cloud::Error>(cloud::Error::notAuthenticated()));
    auto operation = std::make_shared<cloud::Operation>();
    operation->markFinished();
    return operation;
}

void NullCloudFeedsManager::cancelOperation(const std::string&) {}

void NullCloudFeedsManager::cancelAllOperations() {}

}  // namespace tallowmere
