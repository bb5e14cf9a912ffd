#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "feeds/WebService.h"
#include "feeds/WebServicePriority.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/readability/ReadabilityData.h"
#include "store/Article.h"

namespace tallowmere {

// Fills in an article's main text, top image and top video from its web
// page. The article's context is never saved here: the writes wait in that
// context for its owner's next save.
class PrefetchManager {
public:
    // True when the page was downloaded and read (whether or not anything
    // changed), false in every other case.
    using Completion = std::function<void(bool prefetched)>;

    static constexpr const char* contentQueueLabel = "prefetch_manager_content_queue";

    // Extracted text holding an inline PNG is markup that leaked into the
    // text; it is never stored.
    static constexpr std::string_view inlineImageMarker = "data:image/png;base64";
    // Top-image candidates holding any of these are tracking pixels, charts
    // or placeholders, not pictures of the article.
    static constexpr std::array<std::string_view, 3> ignoredTopImageMarkers = {
        "data:image/gif;base64,R0lGODlhAQABAIAAAP///",  // an inline one-pixel GIF
        "chart.googleapis.com",                          // rendered charts and QR codes
        "s0.wp.com/i/webclip.png",                       // a blog host's stand-in site image
    };

    // Made on first use over WebService::shared() and kept for the process.
    static PrefetchManager& shared();

    explicit PrefetchManager(WebService& webService);
    // Waits for the downloads in flight; their articles' contexts must not
    // be waiting on the destroying thread.
    ~PrefetchManager();
    PrefetchManager(const PrefetchManager&) = delete;
    PrefetchManager& operator=(const PrefetchManager&) = delete;

    // Returns at once. The completion runs exactly once: on the content queue
    // for an early stop, on a global queue for a link already on its way
    // (after every download in flight has ended), otherwise on the thread
    // that stored the page (one that read a page). Callers hop to their own
    // queue.
    void prefetch(const Article& article, WebServicePriority priority, Completion completion = {});
    // The same for a caller that has read linkToPrefetch inside the
    // article's context, which spares the content queue a visit there.
    void prefetch(const Article& article, std::optional<std::string> link, WebServicePriority priority,
                  Completion completion);
    // The page to download: the article's link, unless it has a top image
    // already. Inside the article's context.
    static std::optional<std::string> linkToPrefetch(const Article& article);

    // True while the article has no top image; false without a context.
    static bool needsPrefetch(const Article& article);

private:
    // A page read and waiting to be stored into its article.
    struct PendingStore {
        Article article;
        std::optional<readability::ReadabilityData> found;
        std::size_t textLength = 0;
        Completion completion;
        bool stored = false;
    };

    void performPrefetch(const Article& article, const std::optional<std::string>& link,
                         WebServicePriority priority, Completion completion);
    void startDownload(const Article& article, const std::string& link, const URL& url,
                       WebServicePriority priority, Completion completion);
    // `pageURL`: where the page came from after redirects, against which its
    // relative image and video addresses resolve.
    void handleDownload(const Article& article, const std::string& link, std::string pageURL,
                        std::optional<http::Bytes> data,
                        Completion completion);
    void readPage(const Article& article, const std::string& pageURL, http::Bytes data, Completion completion);

    // Hands the page to the thread storing pages, or becomes that thread.
    void queueStore(PendingStore store);
    void storeBatch(std::vector<PendingStore>& batch);
    // False, and nothing written, for an article deleted in the meantime.
    // `textLength`: the characters of the result's text, as a reader counts them.
    static bool storePrefetchedContent(const Article& article,
                                       const std::optional<readability::ReadabilityData>& result,
                                       std::size_t textLength);
    static void storeTopImage(const Article& article, const std::optional<readability::ReadabilityData>& result);
    static void storeText(const Article& article, const std::string& text, std::size_t length);
    static bool isIgnoredTopImage(std::string_view candidate);

    WebService& webService_;
    std::unique_ptr<dispatch::SerialQueue> contentQueue_;
    dispatch::DispatchGroup contentGroup_;
    // Pages are read on many threads at once; only one of them at a time
    // goes into the articles' context, with every page read meanwhile, so
    // that the context stays free for other work (adding feeds) when
    // thousands of pages arrive together.
    std::mutex pendingMutex_;
    std::vector<PendingStore> pendingStores_;
    bool storing_ = false;
    // The links whose page is on its way; on contentQueue only.
    std::set<std::string> prefetchLinks_;
};

}  // namespace tallowmere
