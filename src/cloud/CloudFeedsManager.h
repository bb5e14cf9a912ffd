#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud/CloudArticle.h"
#include "platform/cloud/Error.h"
#include "platform/cloud/Operation.h"

namespace tallowmere {

// The mirror of feed articles in the cloud's public database: queried by
// feed URL, with the queries kept under the URL they were asked for.
class CloudFeedsManager {
public:
    // The articles found and whether the query ended because it was cancelled.
    using ArticlesCompletion = std::function<void(std::vector<CloudArticle> articles, bool cancelled)>;
    // The newest article's top image URL.
    using LatestArticleCompletion =
        std::function<void(std::optional<std::string> topImageURL, std::optional<cloud::Error> error)>;

    static constexpr std::int64_t articlesPerFeed = 50;

    virtual ~CloudFeedsManager() = default;

    // Without a limit, 50 articles per URL, newest first. The completion
    // runs exactly once, on a background thread.
    virtual void fetchArticles(const std::vector<std::string>& feedURLs, std::optional<std::int64_t> limit,
                               ArticlesCompletion completion) = 0;
    // The returned operation may be cancelled; it is not kept under the URL.
    virtual std::shared_ptr<cloud::Operation> fetchLatestArticle(const std::string& feedURL,
                                                                 LatestArticleCompletion completion) = 0;
    // Cancels and forgets the query kept under the key; none kept: nothing.
    virtual void cancelOperation(const std::string& key) = 0;
    virtual void cancelAllOperations() = 0;

    static std::shared_ptr<CloudFeedsManager> shared();
    static void setShared(std::shared_ptr<CloudFeedsManager> manager);
};

}  // namespace tallowmere
