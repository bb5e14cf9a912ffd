#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cloud/CloudFeedsManager.h"
#include "cloud/CloudManager.h"

namespace tallowmere {

// Reads the mirror of feed articles in the public database. Its errors are
// logged, never retried. Each query is kept under every URL it was asked
// for, as passed, until a later query of that URL replaces it; cancelling a
// key stops the query on whatever page it is.
class ContainerCloudFeedsManager final : public CloudFeedsManager, public CloudManager {
public:
    explicit ContainerCloudFeedsManager(ContainerSource container = {});

    void fetchArticles(const std::vector<std::string>& feedURLs, std::optional<std::int64_t> limit,
                       ArticlesCompletion completion) override;
    std::shared_ptr<cloud::Operation> fetchLatestArticle(const std::string& feedURL,
                                                         LatestArticleCompletion completion) override;
    void cancelOperation(const std::string& key) override;
    void cancelAllOperations() override;

    // The keys queries are kept under.
    std::vector<std::string> operationKeys();

private:
    class ArticlesQuery;

    void keep(const std::vector<std::string>& keys, const std::shared_ptr<ArticlesQuery>& query);

    std::mutex operationsMutex_;
    std::map<std::string, std::weak_ptr<ArticlesQuery>> operations_;
};

}  // namespace tallowmere
