#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cloud/CloudArticle.h"
#include "cloud/CloudUserManager.h"
#include "feeds/AddFeedOptions.h"
#include "feeds/FeedBatchOptions.h"
#include "feeds/FeedsManagerError.h"
#include "feeds/FeedsSearchIndex.h"
#include "feeds/IconService.h"
#include "feeds/PrefetchManager.h"
#include "feeds/RSSFeed.h"
#include "feeds/RSSService.h"
#include "feeds/RefreshErrorSlot.h"
#include "feeds/SaveCoalescer.h"
#include "feeds/WebService.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "sources/ArticlesSource.h"
#include "sources/NodesSource.h"
#include "sources/TagsSource.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/Node.h"

namespace tallowmere {

// The feed engine's coordinator: adds feeds from a URL string, refreshes
// them with conditional requests and merges their new articles into the
// store, and renames, moves, deletes and cancels them.
//
// Completions run on background threads; callers that touch views move to
// the main queue themselves.
class FeedsManager {
public:
    // Always false, and the error when the add failed.
    using AddCompletion = std::function<void(bool, std::optional<FeedsManagerError>)>;
    using Completion = std::function<void()>;
    // How many feeds of the batch were added.
    using BatchCompletion = std::function<void(std::size_t added)>;
    // The error of the last failed answer of the refresh, if any.
    using RefreshCompletion = std::function<void(std::optional<RSSServiceError>)>;
    using ArticleCompletion = std::function<void(std::optional<Article>)>;
    using SearchRemovalCompletion = std::function<void(std::optional<RSSServiceError>)>;
    // A feed URL string and the name of the folder to file it in.
    using FeedEntry = CloudFeedEntry;

    static constexpr const char* addFeedQueueLabel = "feeds_manager_add_feed_queue";
    static constexpr const char* addArticleQueueLabel = "feeds_manager_add_article_queue";
    // Where a fetched feed is checked, created and handed to the merge.
    static constexpr const char* addStoreQueueLabel = "feeds_manager_add_store_queue";
    // Feed additions that may fetch at once; each lets go of its unit when
    // its answer arrives, and the store work of the answers runs in batches.
    static constexpr long addFeedConcurrency = 2;
    // New items at these first positions of a document are always prefetched.
    static constexpr std::size_t prefetchedItemCount = 20;
    // How long an add or a refresh waits for a cloud or backend answer.
    static constexpr std::chrono::milliseconds defaultAnswerTimeout = std::chrono::seconds(30);

    // What the manager works with. Every pointer must outlive the manager.
    struct Collaborators {
        std::shared_ptr<DataController> dataController;
        std::shared_ptr<NodesSource> nodes;
        ArticlesSource* articles = nullptr;
        const TagsSource* tags = nullptr;
        std::shared_ptr<FeedsSearchIndex> search;
        PrefetchManager* prefetch = nullptr;
        RSSService* rssService = nullptr;
        IconService* iconService = nullptr;
        WebService* webService = nullptr;
        // The cloudEnabled setting, read when it is needed.
        std::function<bool()> cloudEnabled;
        std::chrono::milliseconds answerTimeout = defaultAnswerTimeout;
    };

    // The program's manager over the shared services, made on first use.
    static FeedsManager& shared();

    explicit FeedsManager(Collaborators collaborators);
    // Waits until the adds, refreshes and prefetches under way have ended
    // (running the main queue meanwhile when called on the main thread).
    ~FeedsManager();
    FeedsManager(const FeedsManager&) = delete;
    FeedsManager& operator=(const FeedsManager&) = delete;

    // White space trimmed from both ends; then "http…" stays (the scheme of a
    // web address lower-cased), "feed:http(s)://x" becomes "http(s)://x",
    // "feed://x" becomes "http://x" (the text after the last "feed://"), and
    // anything else gains "http://" in front. Prefixes match in any case.
    static std::string normalizedURLString(std::string_view urlString);

    // --- Adding ---

    // Returns at once. The completion runs exactly once: on the caller's
    // thread before returning for a malformed or already stored URL, else
    // later on a background thread. An empty folder name is no folder.
    void addFeed(const std::string& urlString, const std::optional<std::string>& folder, AddFeedOptions options,
                 AddCompletion completion);
    // Adds every entry (each entering addFeedGroup() and leaving it exactly
    // once, without after-add steps), then, once addFeedGroup() is empty,
    // runs didAddFeeds on the add queue, which ends with the completion.
    void addFeeds(std::vector<FeedEntry> entries, FeedBatchOptions options, BatchCompletion completion);
    // The after-batch step: the cloud feed list (when asked), registration,
    // the sync step, then the completion.
    void didAddFeeds(std::vector<FeedEntry> entries, FeedBatchOptions options, Completion completion);
    // Rebuilds the push subscription when some feed notifies, reports the
    // URLs to the backend, runs the sync step, then the completion.
    void registerFeeds(std::vector<std::string> urlStrings, bool uploadSyncInfo, Completion completion);

    // --- Refreshing ---

    // With the flag on, fetches and prefetches run at background priority
    // and each feed's turn waits for its prefetches.
    void refreshAllFeeds(bool flag, RefreshCompletion completion);
    // The feeds of the sidebar's selection, or all feeds. Main thread.
    void refreshSelectedFeeds(bool flag, RefreshCompletion completion);
    // Returns once every feed's fetch has been started; the completion runs
    // once, when every feed has answered and the after-refresh step is done.
    void refresh(const std::vector<Feed>& feeds, bool flag, RefreshCompletion completion);
    // Stores an article pushed by the cloud into its feed; the completion
    // receives the new article, or nothing when none was stored.
    void addArticle(const CloudArticle& article, ArticleCompletion completion);

    // --- Folders, renaming, moving, deleting, cancelling ---

    // Finds the folder (name ignoring case and diacritics) or creates it.
    void folder(const std::string& name);
    void rename(const Node& node, const std::string& name);
    // The node source's answer, unchanged.
    bool move(const graph::ObjectID& nodeID, const std::optional<graph::ObjectID>& folderID, std::size_t index,
              bool syncCloud);
    // Deletes the feed stored under exactly this URL, or else the first whose
    // URL begins with the text; nothing when neither exists.
    void deleteFeed(const std::string& urlString);
    // Deletes a feed or a folder with its feeds, after removing their
    // articles' search documents and queueing one compaction.
    void deleteNode(const Node& node, bool cloudUpdate);
    // Queues the removal of the articles' documents and one compaction; the
    // completion at once with what the holder holds.
    void removeFromSearchIndex(const std::vector<Article>& articles, SearchRemovalCompletion completion,
                               const std::shared_ptr<RefreshErrorSlot>& holder);
    void cancel(const std::string& urlString);
    void cancelAll();

    dispatch::DispatchGroup& addFeedGroup() { return addFeedGroup_; }
    dispatch::SerialQueue& addFeedQueue() { return *addFeedQueue_; }
    dispatch::SerialQueue& addArticleQueue() { return *addArticleQueue_; }

private:
    struct AddRequest;
    using Items = std::shared_ptr<const std::vector<RSSArticle>>;
    // A fetch's answer waiting on the store queue to be checked.
    struct FetchedFeed {
        std::shared_ptr<AddRequest> request;
        std::optional<RSSFeed> feed;
        URL reportedURL;
        std::optional<RSSServiceError> error;
    };
    // A fetched feed waiting on the store queue to be made.
    struct PendingFeed {
        std::shared_ptr<AddRequest> request;
        std::string storedURL;
        NodesSource::NewFeed feed;
        Items items;
        std::optional<std::set<std::string>> categories;
    };

    // Adding, step by step.
    // The address a normalised string names, when it names a host.
    static std::optional<URL> feedURL(const std::string& normalized);
    // `stored`: whether the store already held the feed when asked.
    void addFeedUnlessStored(std::string normalized, const URL& url, bool stored,
                             const std::optional<std::string>& folder, AddFeedOptions options,
                             AddCompletion completion);
    void startAdd(const std::shared_ptr<AddRequest>& request);
    void fetchedForAdd(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed, const URL& reportedURL,
                       std::optional<RSSServiceError> error);
    void createAddedFeed(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed,
                         const URL& reportedURL, std::optional<http::Bytes> icon);
    // Checks every fetched answer waiting at once, then looks up the icons
    // of the new feeds.
    void checkFetchedFeeds();
    void lookUpIcon(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed, const URL& reportedURL);
    // Makes every pending feed at once, then merges each one's articles.
    void createPendingFeeds();
    void finishAdd(const std::shared_ptr<AddRequest>& request, const std::string& storedURL,
                   const std::optional<std::set<std::string>>& categories);
    void afterAdd(const std::shared_ptr<AddRequest>& request);
    std::optional<graph::ObjectID> folderID(const std::optional<std::string>& name);
    void syncStep(bool uploadSyncInfo, Completion completion);
    void whenSignInKnown(std::function<void(bool cloudInUse)> decide);

    // Refreshing and merging.
    void startRefresh(const Feed& feed, bool flag, const std::shared_ptr<RefreshErrorSlot>& slot);
    void processAnswer(const Feed& feed, bool flag, const std::shared_ptr<RefreshErrorSlot>& slot,
                       std::optional<RSSFeed> parsed, std::optional<WebServiceHTTPInfo> httpInfo,
                       std::optional<RSSServiceError> error);
    // With save off the values wait for the next save of the feed's context.
    void storeHTTPInfo(const Feed& feed, const WebServiceHTTPInfo& httpInfo, bool save);
    void finishRefresh(const std::shared_ptr<RefreshErrorSlot>& slot, RefreshCompletion completion);
    void merge(Items items, const Feed& feed, WebServicePriority priority, bool flag, Completion completion);
    // The merge of a feed whose object ID (none: deleted) and last update the
    // caller has read in its context.
    void mergeInto(Items items, const Feed& feed, graph::Context& feedContext,
                   const std::optional<graph::ObjectID>& feedID, std::optional<graph::Date> lastUpdate,
                   WebServicePriority priority, bool flag, Completion completion);
    // One feed's merge on the article queue: its items stored inside the
    // background context (none: nothing to store), then its last update and save.
    struct QueuedMerge {
        std::function<void()> insert;
        std::function<void()> after;
    };
    // Merges run in the order queued, a few feeds per visit of the background context.
    void queueMerge(QueuedMerge merge);
    void runQueuedMerges();
    static constexpr std::size_t mergesPerVisit = 8;
    using NewArticles = std::shared_ptr<const std::vector<ArticlesSource::NewArticle>>;
    // The items, made ready before the store is visited when dated after
    // `lastUpdate` (the others are hardly ever stored).
    static NewArticles newArticles(const std::vector<RSSArticle>& items, std::optional<graph::Date> lastUpdate);
    // Stores the items not yet stored, in document order, then prefetches,
    // tags, indexes and announces each new one.
    void insertArticles(const std::vector<RSSArticle>& items, const std::vector<ArticlesSource::NewArticle>& ready,
                        const graph::ObjectID& feedID, WebServicePriority priority);
    void afterInsert(const RemoteArticle& item, std::size_t index, const Article& article,
                     WebServicePriority priority, TagsSource::KnownTags& knownTags);
    void tagArticle(const Article& article, const std::set<std::string>& tags, TagsSource::KnownTags& known);
    void notifyNewArticle(const Article& article);

    void removeSearchDocuments(const std::vector<Article>& articles);
    void updateCloudFeedLists();

    template <typename... Args>
    std::function<void(Args...)> bounded(std::string what, std::type_identity_t<std::tuple<Args...>> fallback,
                                         std::type_identity_t<std::function<void(Args...)>> continuation) const;

    Collaborators c_;
    // A refresh's merges share their saves for this long: each save of the
    // background context holds up the next merge, and costs as much for one
    // feed's articles as for several feeds'.
    static constexpr std::chrono::milliseconds saveGathering{20};
    std::shared_ptr<SaveCoalescer> saver_;
    // The tags of the background context that new articles were given, each
    // name looked up once: the feeds of a refresh mostly share their names.
    // Used only inside that context's visits.
    TagsSource::KnownTags knownTags_;
    std::mutex queuedMergesMutex_;
    std::vector<QueuedMerge> queuedMerges_;  // guarded by queuedMergesMutex_
    bool mergesScheduled_ = false;           // a run is on the article queue; guarded likewise
    std::unique_ptr<dispatch::SerialQueue> addFeedQueue_;
    dispatch::Semaphore addFeedSemaphore_{addFeedConcurrency};
    dispatch::DispatchGroup addFeedGroup_;
    std::unique_ptr<dispatch::SerialQueue> addArticleQueue_;
    std::unique_ptr<dispatch::SerialQueue> addStoreQueue_;
    // On addStoreQueue_ only.
    std::vector<FetchedFeed> fetchedFeeds_;
    bool checkQueued_ = false;
    std::vector<PendingFeed> pendingFeeds_;
    bool creationQueued_ = false;
    dispatch::DispatchGroup addArticleGroup_;
    dispatch::DispatchGroup refreshGroup_;
    // Every add, refresh and pushed article from its call until its
    // completion has run, so the manager is not destroyed under them.
    dispatch::DispatchGroup inFlight_;
};

}  // namespace tallowmere
