#include "cloud/ContainerCloudFeedsManager.h"

#include <algorithm>
#include <utility>

#include "cloud/CloudArticleRecord.h"
#include "foundation/Logger.h"

namespace tallowmere {

using cloud::Cursor;
using cloud::Error;
using cloud::ErrorCode;
using cloud::Record;

// One query of articles across all its pages. Records that do not convert
// are dropped; later pages are asked for while the gathered articles stay
// under the limit.
class ContainerCloudFeedsManager::ArticlesQuery : public std::enable_shared_from_this<ArticlesQuery> {
public:
    ArticlesQuery(std::shared_ptr<cloud::Database> database, std::size_t limit, ArticlesCompletion completion)
        : database_(std::move(database)), limit_(limit), completion_(std::move(completion)) {}

    void start(const cloud::Query& query) {
        cloud::QueryOptions options;
        options.resultsLimit = limit_;
        auto self = shared_from_this();
        run(database_->query(query, options, [self](const Record& record) { self->add(record); },
                             [self](std::optional<Cursor> cursor, std::optional<Error> error) {
                                 self->pageDone(std::move(cursor), std::move(error));
                             }));
    }

    // Stops the page running now, or the next one before it starts.
    void cancel() {
        std::shared_ptr<cloud::Operation> current;
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
            current = current_;
        }
        if (current) current->cancel();
    }

private:
    void run(std::shared_ptr<cloud::Operation> operation) {
        bool cancelled = false;
        {
            std::lock_guard lock(mutex_);
            current_ = operation;
            cancelled = cancelled_;
        }
        if (cancelled) operation->cancel();
    }

    void add(const Record& record) {
        auto article = CloudArticleRecord::article(record, CloudArticleRecord::Content::fileFirst);
        if (!article) return;
        std::lock_guard lock(mutex_);
        articles_.push_back(std::move(*article));
    }

    void pageDone(std::optional<Cursor> cursor, std::optional<Error> error) {
        if (error) {
            Logger::error([&] { return "getFeedArticles error: " + error->textualDescription(); });
            finish(error->code == ErrorCode::operationCancelled);
            return;
        }
        bool cancelled = false;
        {
            std::lock_guard lock(mutex_);
            if (!cursor || articles_.size() >= limit_) {
                cursor.reset();
            } else {
                cancelled = cancelled_;
            }
        }
        if (!cursor || cancelled) {
            finish(cancelled);
            return;
        }
        auto self = shared_from_this();
        run(database_->query(*cursor, cloud::QueryOptions{}, [self](const Record& record) { self->add(record); },
                             [self](std::optional<Cursor> next, std::optional<Error> nextError) {
                                 self->pageDone(std::move(next), std::move(nextError));
                             }));
    }

    void finish(bool cancelled) {
        std::vector<CloudArticle> articles;
        ArticlesCompletion completion;
        {
            std::lock_guard lock(mutex_);
            articles = std::move(articles_);
            completion = std::move(completion_);
            current_.reset();
        }
        // The database may keep this query's blocks after the end (a held
        // operation does): the query must not keep the database in return.
        database_.reset();
        if (completion) completion(std::move(articles), cancelled);
    }

    std::shared_ptr<cloud::Database> database_;
    const std::size_t limit_;
    std::mutex mutex_;
    std::vector<CloudArticle> articles_;
    std::shared_ptr<cloud::Operation> current_;
    bool cancelled_ = false;
    ArticlesCompletion completion_;
};

ContainerCloudFeedsManager::ContainerCloudFeedsManager(ContainerSource container) : CloudManager(std::move(container)) {}

void ContainerCloudFeedsManager::fetchArticles(const std::vector<std::string>& feedURLs,
                                               std::optional<std::int64_t> limit, ArticlesCompletion completion) {
    std::vector<std::string> normalized;
    normalized.reserve(feedURLs.size());
    for (const auto& url : feedURLs) normalized.push_back(CloudArticleRecord::normalizedFeedURL(url));
    const std::int64_t resultsLimit = limit.value_or(articlesPerFeed * static_cast<std::int64_t>(feedURLs.size()));
    auto query = std::make_shared<ArticlesQuery>(publicDB(), static_cast<std::size_t>(std::max<std::int64_t>(resultsLimit, 0)),
                                                 std::move(completion));
    keep(feedURLs, query);
    query->start(cloud::Query(CloudArticleRecord::recordType,
                              cloud::Predicate::in(CloudArticleRecord::feedURLKey, std::move(normalized)),
                              cloud::SortDescriptor{CloudArticleRecord::publishedDateKey, false}));
}

void ContainerCloudFeedsManager::keep(const std::vector<std::string>& keys, const std::shared_ptr<ArticlesQuery>& query) {
    std::lock_guard lock(operationsMutex_);
    std::erase_if(operations_, [](const auto& entry) { return entry.second.expired(); });
    for (const auto& key : keys) operations_[key] = query;
}

std::shared_ptr<cloud::Operation> ContainerCloudFeedsManager::fetchLatestArticle(const std::string& feedURL,
                                                                                 LatestArticleCompletion completion) {
    struct Latest {
        std::mutex mutex;
        std::optional<std::string> topImageURL;
    };
    auto latest = std::make_shared<Latest>();
    cloud::QueryOptions options;
    options.resultsLimit = 1;
    return publicDB()->query(
        cloud::Query(CloudArticleRecord::recordType,
                     cloud::Predicate::equals(CloudArticleRecord::feedURLKey,
                                              CloudArticleRecord::normalizedFeedURL(feedURL)),
                     cloud::SortDescriptor{CloudArticleRecord::publishedDateKey, false}),
        options,
        [latest](const Record& record) {
            std::lock_guard lock(latest->mutex);
            latest->topImageURL = record.get<std::string>(CloudArticleRecord::topImageURLKey);
        },
        [latest, completion = std::move(completion)](std::optional<Cursor>, std::optional<Error> error) {
            std::optional<std::string> topImageURL;
            {
                std::lock_guard lock(latest->mutex);
                topImageURL = latest->topImageURL;
            }
            if (completion) completion(std::move(topImageURL), std::move(error));
        });
}

void ContainerCloudFeedsManager::cancelOperation(const std::string& key) {
    std::shared_ptr<ArticlesQuery> query;
    {
        std::lock_guard lock(operationsMutex_);
        const auto found = operations_.find(key);
        if (found == operations_.end()) return;
        query = found->second.lock();
        operations_.erase(found);
    }
    if (query) query->cancel();
}

void ContainerCloudFeedsManager::cancelAllOperations() {
    std::map<std::string, std::weak_ptr<ArticlesQuery>> kept;
    {
        std::lock_guard lock(operationsMutex_);
        kept.swap(operations_);
    }
    for (const auto& [key, weak] : kept) {
        if (auto query = weak.lock()) query->cancel();
    }
}

std::vector<std::string> ContainerCloudFeedsManager::operationKeys() {
    std::lock_guard lock(operationsMutex_);
    std::vector<std::string> keys;
    for (const auto& entry : operations_) keys.push_back(entry.first);
    return keys;
}

}  // namespace tallowmere
