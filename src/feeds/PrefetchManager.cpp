#include "feeds/PrefetchManager.h"

#include <cstdint>
#include <utility>

#include "feeds/PreviewImage.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/TextOperations.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/readability/Readability.h"

namespace tallowmere {

namespace {

using readability::ReadabilityData;
using readability::ReadabilityResult;

// Runs `block` inside the article's context and returns its result, or
// `fallback` when the article has no context.
template <typename T, typename Block>
T inArticleContext(const Article& article, T fallback, Block&& block) {
    graph::Context* context = article.context();
    if (!context) return fallback;
    T result = std::move(fallback);
    context->performAndWait([&] { result = block(); });
    return result;
}

void finish(const PrefetchManager::Completion& completion, bool prefetched) {
    if (completion) completion(prefetched);
}

}  // namespace

PrefetchManager& PrefetchManager::shared() {
    // Never destroyed: downloads may still end while the process exits.
    static PrefetchManager* instance = new PrefetchManager(WebService::shared());
    return *instance;
}

PrefetchManager::PrefetchManager(WebService& webService)
    : webService_(webService), contentQueue_(makeDispatchQueue(contentQueueLabel, QualityOfService::utility)) {}

PrefetchManager::~PrefetchManager() {
    // Prefetches queued before this point may still start a download.
    contentQueue_->sync([] {});
    contentGroup_.wait();
}

void PrefetchManager::prefetch(const Article& article, WebServicePriority priority, Completion completion) {
    contentQueue_->async([this, article, priority, completion = std::move(completion)]() mutable {
        // One visit to the context for both: it is shared with other work.
        const auto link = inArticleContext(article, std::optional<std::string>(),
                                           [&] { return linkToPrefetch(article); });
        performPrefetch(article, link, priority, std::move(completion));
    });
}

void PrefetchManager::prefetch(const Article& article, std::optional<std::string> link, WebServicePriority priority,
                               Completion completion) {
    contentQueue_->async(
        [this, article, link = std::move(link), priority, completion = std::move(completion)]() mutable {
            performPrefetch(article, link, priority, std::move(completion));
        });
}

std::optional<std::string> PrefetchManager::linkToPrefetch(const Article& article) {
    return article.topImage() ? std::nullopt : article.link();
}

bool PrefetchManager::needsPrefetch(const Article& article) {
    return inArticleContext(article, false, [&] { return !article.topImage().has_value(); });
}

void PrefetchManager::performPrefetch(const Article& article, const std::optional<std::string>& link,
                                      WebServicePriority priority, Completion completion) {
    if (!link) return finish(completion, false);
    const auto url = URL::parse(*link);
    if (!url) return finish(completion, false);
    if (prefetchLinks_.contains(*link)) {
        // The download on its way fills in this article's twin, not this
        // one; the caller hears only once everything in flight has ended.
        contentGroup_.notify(dispatch::GlobalQueue::shared(QualityOfService::utility),
                             [completion = std::move(completion)] { finish(completion, false); });
        return;
    }
    startDownload(article, *link, *url, priority, std::move(completion));
}

void PrefetchManager::startDownload(const Article& article, const std::string& link, const URL& url,
                                    WebServicePriority priority, Completion completion) {
    contentGroup_.enter();
    prefetchLinks_.insert(link);
    http::HTTPRequest request;
    request.url = url.absoluteString();
    // Anything larger would only be refused by the reader of the page.
    request.maxBodySize = readability::Readability::maximumPageSize;
    webService_.request(
        std::move(request), priority, false,
        [this, article, link, completion = std::move(completion)](std::optional<http::Bytes> data,
                                                                   std::optional<WebServiceHTTPInfo> httpInfo,
                                                                   std::optional<WebServiceFailure>) mutable {
            std::string pageURL = httpInfo && httpInfo->url ? *httpInfo->url : link;
            contentQueue_->async([this, article, link, pageURL = std::move(pageURL), data = std::move(data),
                                  completion = std::move(completion)]() mutable {
                handleDownload(article, link, std::move(pageURL), std::move(data), std::move(completion));
            });
        });
}

void PrefetchManager::handleDownload(const Article& article, const std::string& link, std::string pageURL,
                                     std::optional<http::Bytes> data, Completion completion) {
    prefetchLinks_.erase(link);
    // An article deleted meanwhile is found out when its page is stored.
    if (!data) {
        contentGroup_.leave();
        return finish(completion, false);
    }
    readPage(article, pageURL, std::move(*data), std::move(completion));
}

void PrefetchManager::readPage(const Article& article, const std::string& pageURL, http::Bytes data,
                               Completion completion) {
    readability::Readability::parse(
        std::string(data.begin(), data.end()), pageURL,
        [this, article, completion = std::move(completion)](ReadabilityResult result) {
            std::optional<ReadabilityData> found;
            if (auto* extracted = std::get_if<ReadabilityData>(&result)) found = std::move(*extracted);
            // Counted before the context is entered, which other work waits for.
            const std::size_t textLength = found && found->text ? characterCount(*found->text) : 0;
            queueStore(PendingStore{article, std::move(found), textLength, std::move(completion)});
        });
}

void PrefetchManager::queueStore(PendingStore store) {
    {
        std::lock_guard lock(pendingMutex_);
        pendingStores_.push_back(std::move(store));
        if (storing_) return;  // the thread storing takes it along
        storing_ = true;
    }
    // This thread stores until nothing waits: pages that arrive meanwhile go
    // into the context together, in one visit, rather than one visit each.
    contentGroup_.enter();
    for (;;) {
        std::vector<PendingStore> batch;
        {
            std::lock_guard lock(pendingMutex_);
            if (pendingStores_.empty()) {
                storing_ = false;
                break;
            }
            batch.swap(pendingStores_);
        }
        storeBatch(batch);
    }
    // The last use of this manager: it may be destroyed once the group is empty.
    contentGroup_.leave();
}

void PrefetchManager::storeBatch(std::vector<PendingStore>& batch) {
    std::vector<bool> kept(batch.size(), true);
    for (std::size_t first = 0; first < batch.size(); ++first) {
        graph::Context* context = batch[first].article.context();
        if (!context || !kept[first] || batch[first].stored) continue;
        // Every article of this context in the batch, in one visit.
        context->performAndWait([&] {
            for (std::size_t index = first; index < batch.size(); ++index) {
                PendingStore& store = batch[index];
                if (store.stored || store.article.context() != context) continue;
                kept[index] = storePrefetchedContent(store.article, store.found, store.textLength);
                store.stored = true;
            }
        });
    }
    for (std::size_t index = 0; index < batch.size(); ++index) {
        contentGroup_.leave();
        finish(batch[index].completion, kept[index]);
    }
}

bool PrefetchManager::storePrefetchedContent(const Article& article, const std::optional<ReadabilityData>& result,
                                             std::size_t textLength) {
    // Deleted while its page was being read: it is gone for the caller too.
    if (article.isDeleted()) return false;
    if (!article.topImage()) storeTopImage(article, result);
    article.setTopVideo(result ? result->topVideo : std::nullopt);
    if (result && result->text) storeText(article, *result->text, textLength);
    return true;
}

void PrefetchManager::storeTopImage(const Article& article, const std::optional<ReadabilityData>& result) {
    if (result && result->topImage && !isIgnoredTopImage(*result->topImage)) {
        article.setTopImage(result->topImage);
        return;
    }
    const auto preview = article.previewContent();
    if (!preview) return;
    const auto candidate = PreviewImage::firstImageAddress(*preview, article.link());
    if (candidate && !isIgnoredTopImage(*candidate)) article.setTopImage(candidate);
}

void PrefetchManager::storeText(const Article& article, const std::string& text, std::size_t length) {
    if (text.find(inlineImageMarker) != std::string::npos) return;
    const auto stored = article.textContent();
    // A text has no more characters than bytes: a stored text with fewer
    // bytes than the new one has characters needs no count.
    const bool longer = stored ? length > stored->size() || length > characterCount(*stored) : length > 0;
    if (longer) article.setTextContent(trimmingWhitespace(text));
}

bool PrefetchManager::isIgnoredTopImage(std::string_view candidate) {
    for (std::string_view marker : ignoredTopImageMarkers)
        if (candidate.find(marker) != std::string_view::npos) return true;
    return false;
}

}  // namespace tallowmere
