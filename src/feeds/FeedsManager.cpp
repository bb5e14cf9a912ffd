#include "feeds/FeedsManager.h"

#include <algorithm>
#include <future>
#include <iterator>
#include <mutex>
#include <utility>

#include "cloud/CloudFeedsManager.h"
#include "cloud/CloudNotificationsManager.h"
#include "cloud/CloudSyncManager.h"
#include "cloud/LocalNotificationsManager.h"
#include "cloud/StatsManager.h"
#include "feeds/AnswerDeadline.h"
#include "feeds/SearchManagerFeedsIndex.h"
#include "foundation/AllocatorTuning.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/TextOperations.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/text/AsciiText.h"
#include "service/TallowmereManager.h"
#include "sources/ArticlesSource.h"
#include "sources/TagsSource.h"
#include "store/Preferences.h"

namespace tallowmere {

namespace {

using text::AsciiText;

graph::Date storeDate(RemoteArticle::Date date) {
    return graph::Date{std::chrono::duration<double>(date.time_since_epoch()).count()};
}

constexpr std::string_view feedPrefix = "feed:";
constexpr std::string_view feedScheme = "feed://";

bool isWebAddress(std::string_view text) {
    return AsciiText::startsWithIgnoringCase(text, "http://") ||
           AsciiText::startsWithIgnoringCase(text, "https://");
}

// "HTTPS://Host/Path" is "https://Host/Path"; any other text stays as it is.
std::string withLowercasedWebScheme(std::string_view text) {
    if (!isWebAddress(text)) return std::string(text);
    const std::size_t colon = text.find(':');
    return AsciiText::lowercased(text.substr(0, colon)) + std::string(text.substr(colon));
}

}  // namespace

// Everything one add carries from step to step.
struct FeedsManager::AddRequest {
    std::string normalized;
    URL url;
    std::optional<std::string> folder;
    AddFeedOptions options;
    AddCompletion completion;
    bool notifyUpdates = false;
    NewsletterType newsletterType = NewsletterType::none;
    // Left when the last step of the add lets go of it.
    dispatch::DispatchGroup* inFlight = nullptr;

    ~AddRequest() {
        if (inFlight) inFlight->leave();
    }

    void complete(std::optional<FeedsManagerError> error) {
        AddCompletion done = std::move(completion);
        if (done) done(false, std::move(error));
    }
};

FeedsManager& FeedsManager::shared() {
    static FeedsManager instance(Collaborators{
        DataController::shared(),
        NodesSource::shared(),
        &ArticlesSource::shared(),
        &TagsSource::shared(),
        std::make_shared<SearchManagerFeedsIndex>(SearchManager::shared()),
        &PrefetchManager::shared(),
        &RSSService::shared(),
        &IconService::shared(),
        &WebService::shared(),
        [] { return Preferences::shared()->cloudEnabled(); },
    });
    return instance;
}

FeedsManager::FeedsManager(Collaborators collaborators)
    : c_(std::move(collaborators)),
      saver_(std::make_shared<SaveCoalescer>(c_.dataController, saveGathering)),
      addFeedQueue_(makeDispatchQueue(addFeedQueueLabel, QualityOfService::utility)),
      addArticleQueue_(makeDispatchQueue(addArticleQueueLabel, QualityOfService::utility)),
      addStoreQueue_(makeDispatchQueue(addStoreQueueLabel, QualityOfService::utility)) {
    // Refreshes allocate in bursts on many threads.
    AllocatorTuning::apply();
}

FeedsManager::~FeedsManager() {
    auto idle = [this] {
        return inFlight_.wait(std::chrono::milliseconds(0)) && addArticleGroup_.wait(std::chrono::milliseconds(0));
    };
    // Their steps may need the main queue (the save chain ends there).
    if (dispatch::MainQueue::shared().isCurrent()) {
        dispatch::MainQueue::shared().runUntil(idle, std::chrono::minutes(2));
    } else {
        inFlight_.wait();
        addArticleGroup_.wait();
    }
    // The queues run what they hold before they stop; the article queue last,
    // because the add queue's work feeds it.
    addFeedQueue_.reset();
    addStoreQueue_.reset();
    addArticleQueue_.reset();
}

template <typename... Args>
std::function<void(Args...)> FeedsManager::bounded(std::string what, std::type_identity_t<std::tuple<Args...>> fallback,
                                                   std::type_identity_t<std::function<void(Args...)>> continuation) const {
    return AnswerDeadline<Args...>::bounded(std::move(what), c_.answerTimeout, std::move(fallback),
                                            std::move(continuation));
}

std::string FeedsManager::normalizedURLString(std::string_view urlString) {
    const std::string trimmed = trimmingWhitespace(urlString);
    std::string_view text = trimmed;
    // "feed:https://…" and "feed:http://…" carry the address itself.
    if (AsciiText::startsWithIgnoringCase(text, feedPrefix) &&
        AsciiText::startsWithIgnoringCase(text.substr(feedPrefix.size()), "http"))
        text.remove_prefix(feedPrefix.size());
    if (AsciiText::startsWithIgnoringCase(text, "http")) return withLowercasedWebScheme(text);
    if (AsciiText::startsWithIgnoringCase(text, feedScheme)) {
        // The text after the last "feed://".
        text.remove_prefix(AsciiText::lowercased(text).rfind(feedScheme) + feedScheme.size());
        if (isWebAddress(text)) return withLowercasedWebScheme(text);
    }
    return "http://" + std::string(text);
}

// --- Adding ---

std::optional<URL> FeedsManager::feedURL(const std::string& normalized) {
    std::optional<URL> url = URL::parse(normalized);
    // A feed is fetched over HTTP, so an address without a host names none.
    if (!url || !url->host() || url->host()->empty()) return std::nullopt;
    return url;
}

void FeedsManager::addFeed(const std::string& urlString, const std::optional<std::string>& folder,
                           AddFeedOptions options, AddCompletion completion) {
    std::string normalized = normalizedURLString(urlString);
    std::optional<URL> url = feedURL(normalized);
    if (!url) {
        completion(false, FeedsManagerError::malformedURL(std::move(normalized)));
        return;
    }
    addFeedUnlessStored(std::move(normalized), *url, c_.nodes->containsFeed(*url), folder, options,
                        std::move(completion));
}

void FeedsManager::addFeedUnlessStored(std::string normalized, const URL& url, bool stored,
                                       const std::optional<std::string>& folder, AddFeedOptions options,
                                       AddCompletion completion) {
    if (stored) {
        completion(false, FeedsManagerError::alreadyAdded(std::move(normalized)));
        return;
    }
    inFlight_.enter();
    auto request = std::make_shared<AddRequest>(
        AddRequest{std::move(normalized), url, folder, options, std::move(completion)});
    request->inFlight = &inFlight_;
    addFeedQueue_->async([this, request] { startAdd(request); });
}

void FeedsManager::startAdd(const std::shared_ptr<AddRequest>& request) {
    using Settings = std::pair<bool, NewsletterType>;
    auto answer = std::make_shared<std::promise<Settings>>();
    CloudUserManager::shared()->feedNotificationSettings(request->normalized,
                                                         [answer](bool notify, NewsletterType newsletter) {
                                                             try {
                                                                 answer->set_value({notify, newsletter});
                                                             } catch (const std::future_error&) {
                                                                 // A second answer changes nothing.
                                                             }
                                                         });
    addFeedSemaphore_.wait();
    // The unit is held from here on, so the wait for the answer is bounded.
    std::future<Settings> settings = answer->get_future();
    if (settings.wait_for(c_.answerTimeout) == std::future_status::ready) {
        std::tie(request->notifyUpdates, request->newsletterType) = settings.get();
    } else {
        Logger::warning([] { return std::string("no answer for a feed's cloud settings, adding it without them"); });
    }
    c_.rssService->fetch(request->url, request->url, std::nullopt, true, true, false,
                         [this, request](std::optional<RSSFeed> feed, URL reportedURL,
                                         std::optional<WebServiceHTTPInfo>, std::optional<RSSServiceError> error) {
                             // The unit bounds the fetches under way; what follows
                             // runs on the store queue (off the parser's queue,
                             // which the next fetches need) while they go on.
                             addFeedSemaphore_.signal();
                             addStoreQueue_->async([this, request, feed = std::move(feed), reportedURL,
                                                    error = std::move(error)]() mutable {
                                 fetchedForAdd(request, std::move(feed), reportedURL, std::move(error));
                             });
                         });
}

void FeedsManager::fetchedForAdd(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed,
                                 const URL& reportedURL, std::optional<RSSServiceError> error) {
    fetchedFeeds_.push_back(FetchedFeed{request, std::move(feed), reportedURL, std::move(error)});
    if (std::exchange(checkQueued_, true)) return;
    // The answers that arrive before this runs are checked with it, in one
    // visit of the store.
    addStoreQueue_->async([this] { checkFetchedFeeds(); });
}

void FeedsManager::checkFetchedFeeds() {
    checkQueued_ = false;
    std::vector<FetchedFeed> batch = std::exchange(fetchedFeeds_, {});
    std::vector<URL> urls;
    urls.reserve(batch.size());
    for (const FetchedFeed& fetched : batch) urls.push_back(fetched.reportedURL);
    const std::vector<bool> stored = c_.nodes->containsFeeds(urls);
    for (std::size_t index = 0; index < batch.size(); ++index) {
        FetchedFeed& fetched = batch[index];
        const std::shared_ptr<AddRequest>& request = fetched.request;
        if (stored[index]) {
            request->complete(FeedsManagerError::alreadyAdded(fetched.reportedURL.absoluteString()));
            continue;
        }
        if (fetched.error) {
            request->complete(fetched.error->isCancelled() ? FeedsManagerError::cancelled()
                                                           : FeedsManagerError::download(request->url.absoluteString()));
            continue;
        }
        lookUpIcon(request, std::move(fetched.feed), fetched.reportedURL);
    }
}

void FeedsManager::lookUpIcon(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed,
                              const URL& reportedURL) {
    // The site's root page: a feed's link deep inside a site still names its site.
    std::optional<URL> base = feed && feed->link ? URL::parse(*feed->link) : std::nullopt;
    if (!base || !base->isAbsolute()) base = request->url;
    std::optional<URL> page = base->resolving("/");
    if (!page) page = request->url;
    c_.iconService->download(*page, [this, request, feed = std::move(feed),
                                     reportedURL](std::optional<http::Bytes> icon) mutable {
        // A remembered icon answers at once, still on this queue.
        if (addStoreQueue_->isCurrent()) {
            createAddedFeed(request, std::move(feed), reportedURL, std::move(icon));
            return;
        }
        addStoreQueue_->async([this, request, feed = std::move(feed), reportedURL, icon = std::move(icon)]() mutable {
            createAddedFeed(request, std::move(feed), reportedURL, std::move(icon));
        });
    });
}

std::optional<graph::ObjectID> FeedsManager::folderID(const std::optional<std::string>& name) {
    if (!name || name->empty()) return std::nullopt;
    std::optional<Folder> folder = c_.nodes->folder(*name);
    if (!folder) folder = c_.nodes->addFolder(*name);
    std::optional<graph::ObjectID> id;
    if (graph::Context* context = folder->context()) context->performAndWait([&] { id = folder->objectID(); });
    return id;
}

void FeedsManager::createAddedFeed(const std::shared_ptr<AddRequest>& request, std::optional<RSSFeed> feed,
                                   const URL& reportedURL, std::optional<http::Bytes> icon) {
    const std::string storedURL = reportedURL.absoluteString();
    PendingFeed pending{request, storedURL,
                        NodesSource::NewFeed{feed ? feed->name : request->normalized, storedURL, std::move(icon),
                                             folderID(request->folder), request->notifyUpdates,
                                             request->newsletterType},
                        nullptr, std::nullopt};
    if (feed) {
        pending.items = std::make_shared<const std::vector<RSSArticle>>(std::move(feed->articles));
        pending.categories = std::move(feed->categories);
    }
    pendingFeeds_.push_back(std::move(pending));
    if (std::exchange(creationQueued_, true)) return;
    // The feeds fetched before this runs are made with it, in one save.
    addStoreQueue_->async([this] { createPendingFeeds(); });
}

void FeedsManager::createPendingFeeds() {
    creationQueued_ = false;
    std::vector<PendingFeed> batch = std::exchange(pendingFeeds_, {});
    std::vector<NodesSource::NewFeed> feeds;
    feeds.reserve(batch.size());
    for (PendingFeed& pending : batch) feeds.push_back(std::move(pending.feed));
    std::vector<std::optional<Feed>> created = c_.nodes->addFeedsUnlessStored(std::move(feeds));
    // The new feeds live in the background context; their IDs in one visit.
    graph::Context& background = *c_.dataController->backgroundContext();
    std::vector<std::optional<graph::ObjectID>> ids(created.size());
    background.performAndWait([&] {
        for (std::size_t index = 0; index < created.size(); ++index)
            if (created[index] && !created[index]->isDeleted()) ids[index] = created[index]->objectID();
    });
    for (std::size_t index = 0; index < batch.size(); ++index) {
        PendingFeed& pending = batch[index];
        if (!created[index]) {  // another add of the same feed got there first, while this one fetched its icon
            pending.request->complete(FeedsManagerError::alreadyAdded(pending.storedURL));
            continue;
        }
        mergeInto(pending.items, *created[index], background, ids[index], std::nullopt, WebServicePriority::low, false,
                  [this, request = pending.request, storedURL = pending.storedURL,
                   categories = std::move(pending.categories)] { finishAdd(request, storedURL, categories); });
    }
}

void FeedsManager::finishAdd(const std::shared_ptr<AddRequest>& request, const std::string& storedURL,
                             const std::optional<std::set<std::string>>& categories) {
    if (request->options.updateStats) StatsManager::shared()->updateFeedStats(storedURL, categories, false);
    if (request->options.saveToCloud) {
        CloudUserManager::shared()->addFeed({CloudFeedEntry{storedURL, request->folder}},
                                            bounded<>("the cloud feed list", {}, [this, request] { afterAdd(request); }));
    } else {
        afterAdd(request);
    }
}

void FeedsManager::afterAdd(const std::shared_ptr<AddRequest>& request) {
    if (!request->options.registerFeed) {
        request->complete(std::nullopt);
        return;
    }
    registerFeeds({request->normalized}, request->options.uploadSyncInfo,
                  [request] { request->complete(std::nullopt); });
}

void FeedsManager::addFeeds(std::vector<FeedEntry> entries, FeedBatchOptions options,
                            BatchCompletion completion) {
    // The node list and positions are brought up to date once for the batch.
    c_.nodes->beginAddingFeeds();
    auto added = std::make_shared<std::atomic<std::size_t>>(0);
    std::vector<std::string> normalized;
    std::vector<std::optional<URL>> urls;
    std::vector<URL> wellFormed;
    for (const FeedEntry& entry : entries) {
        normalized.push_back(normalizedURLString(entry.urlString));
        urls.push_back(feedURL(normalized.back()));
        if (urls.back()) wellFormed.push_back(*urls.back());
    }
    // One look into the store for the whole batch: a look per feed would wait
    // each time behind the earlier feeds' writes, and starve the fetches.
    const std::vector<bool> stored = c_.nodes->containsFeeds(wellFormed);
    std::size_t checked = 0;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        // Each add leaves the group exactly once, whatever its outcome.
        addFeedGroup_.enter();
        AddCompletion leave = [this, added](bool, std::optional<FeedsManagerError> error) {
            if (!error) ++*added;
            addFeedGroup_.leave();
        };
        if (!urls[index]) {
            leave(false, FeedsManagerError::malformedURL(std::move(normalized[index])));
            continue;
        }
        addFeedUnlessStored(std::move(normalized[index]), *urls[index], stored[checked++], entries[index].folder,
                            AddFeedOptions{}, std::move(leave));
    }
    addFeedGroup_.notify(*addFeedQueue_, [this, entries = std::move(entries), options, added,
                                          completion = std::move(completion)]() mutable {
        c_.nodes->endAddingFeeds();
        didAddFeeds(std::move(entries), options, [added, completion = std::move(completion)] {
            if (completion) completion(added->load());
        });
    });
}

void FeedsManager::didAddFeeds(std::vector<FeedEntry> entries, FeedBatchOptions options, Completion completion) {
    std::vector<std::string> urlStrings;
    urlStrings.reserve(entries.size());
    for (FeedEntry& entry : entries) urlStrings.push_back(std::move(entry.urlString));
    auto registration = [this, urlStrings = std::move(urlStrings), options,
                         completion = std::move(completion)]() mutable {
        registerFeeds(std::move(urlStrings), options.uploadSyncInfo, std::move(completion));
    };
    if (!options.saveUserFeedsFirst) {
        registration();
        return;
    }
    CloudUserManager::shared()->saveUserFeeds(bounded<>("the cloud feed list", {}, std::move(registration)));
}

void FeedsManager::registerFeeds(std::vector<std::string> urlStrings, bool uploadSyncInfo, Completion completion) {
    auto backend = [this, urlStrings = std::move(urlStrings), uploadSyncInfo,
                    completion = std::move(completion)]() mutable {
        using Failure = std::optional<TallowmereServiceError>;
        TallowmereManager::shared()->addFeeds(
            std::move(urlStrings),
            bounded<Failure>("the backend", {std::nullopt},
                             [this, uploadSyncInfo, completion = std::move(completion)](Failure) {
                                 syncStep(uploadSyncInfo, completion);
                             }));
    };
    std::optional<std::vector<Feed>> notifying = c_.nodes->notifyingFeeds();
    if (notifying && !notifying->empty()) {
        CloudNotificationsManager::shared()->updateNewArticleSubscription(
            std::move(*notifying), bounded<>("the push subscription", {}, std::move(backend)));
        return;
    }
    backend();
}

void FeedsManager::whenSignInKnown(std::function<void(bool cloudInUse)> decide) {
    std::shared_ptr<CloudUserManager> user = CloudUserManager::shared();
    auto decideNow = [this, user, decide = std::move(decide)] {
        decide(user->isAuthenticated().value_or(false) && c_.cloudEnabled && c_.cloudEnabled());
    };
    if (user->isAuthenticated().has_value()) {
        decideNow();
        return;
    }
    // The user manager holds this queue until the sign-in state is known.
    user->userRecordQueue().async(std::move(decideNow));
}

void FeedsManager::syncStep(bool uploadSyncInfo, Completion completion) {
    if (uploadSyncInfo) {
        CloudSyncManager::shared()->uploadSyncInfo(false, bounded<>("the sync upload", {}, std::move(completion)));
        return;
    }
    whenSignInKnown([this, completion = std::move(completion)](bool cloudInUse) {
        if (!cloudInUse) {
            if (completion) completion();
            return;
        }
        CloudSyncManager::shared()->downloadSyncInfo(bounded<>("the sync record", {}, completion));
    });
}

// --- Refreshing ---

void FeedsManager::refreshAllFeeds(bool flag, RefreshCompletion completion) {
    refresh(c_.nodes->allFeeds(), flag, std::move(completion));
}

void FeedsManager::refreshSelectedFeeds(bool flag, RefreshCompletion completion) {
    const std::optional<ArticlesSourceFeedsInfo>& info = c_.articles->feedsInfo();
    if (!info || !info->feeds || info->feeds->empty()) {
        refreshAllFeeds(flag, std::move(completion));
        return;
    }
    // The selection's objects live in the main context; the refresh works on
    // the background context's, so that nothing of it runs on the main queue.
    graph::Context& background = *c_.dataController->backgroundContext();
    std::vector<Feed> feeds;
    for (const Feed& selected : *info->feeds) {
        const graph::ObjectID id = selected.objectID();
        background.performAndWait([&] {
            if (auto object = background.existingObject(id); object.ok()) {
                if (auto feed = Feed::from(object.value())) feeds.push_back(*feed);
            }
        });
    }
    refresh(feeds, flag, std::move(completion));
}

void FeedsManager::refresh(const std::vector<Feed>& feeds, bool flag, RefreshCompletion completion) {
    inFlight_.enter();
    auto slot = std::make_shared<RefreshErrorSlot>();
    // Every feed is started whatever the others answer: one failing server
    // must not keep the rest of the list from being refreshed.
    for (const Feed& feed : feeds) {
        graph::Context* context = feed.context();
        if (!context) continue;
        context->performAndWait([&] { startRefresh(feed, flag, slot); });
    }
    refreshGroup_.notify(*addFeedQueue_, [this, slot, completion = std::move(completion)]() mutable {
        finishRefresh(slot, std::move(completion));
    });
}

void FeedsManager::startRefresh(const Feed& feed, bool flag, const std::shared_ptr<RefreshErrorSlot>& slot) {
    if (feed.isDeleted()) return;
    std::optional<std::string> urlString = feed.url();
    std::optional<URL> url = urlString ? URL::parse(*urlString) : std::nullopt;
    if (!url) return;
    refreshGroup_.enter();
    WebServiceHTTPInfo httpInfo{feed.httpLastModified(), feed.httpETag()};
    c_.rssService->fetch(*url, *url, httpInfo, false, false, flag,
                         [this, feed, flag, slot](std::optional<RSSFeed> parsed, URL,
                                                  std::optional<WebServiceHTTPInfo> info,
                                                  std::optional<RSSServiceError> error) mutable {
                             addFeedQueue_->async([this, feed, flag, slot, parsed = std::move(parsed),
                                                   info = std::move(info), error = std::move(error)]() mutable {
                                 processAnswer(feed, flag, slot, std::move(parsed), std::move(info),
                                               std::move(error));
                             });
                         });
}

void FeedsManager::processAnswer(const Feed& feed, bool flag, const std::shared_ptr<RefreshErrorSlot>& slot,
                                 std::optional<RSSFeed> parsed, std::optional<WebServiceHTTPInfo> httpInfo,
                                 std::optional<RSSServiceError> error) {
    // The caching values first, also when the same answer failed. When
    // items follow, the merge's save stores them with the items, which spares
    // the store (and every view of it) one save per feed.
    const bool merges = !error && parsed && !parsed->articles.empty();
    if (httpInfo) storeHTTPInfo(feed, *httpInfo, !merges);
    if (error) {
        slot->record(std::move(*error));
        refreshGroup_.leave();
        return;
    }
    // "Not modified" comes with neither feed nor error: nothing to merge.
    if (!parsed || parsed->articles.empty()) {
        refreshGroup_.leave();
        return;
    }
    auto items = std::make_shared<const std::vector<RSSArticle>>(std::move(parsed->articles));
    merge(items, feed, flag ? WebServicePriority::background : WebServicePriority::low, flag,
          [this] { refreshGroup_.leave(); });
}

void FeedsManager::storeHTTPInfo(const Feed& feed, const WebServiceHTTPInfo& httpInfo, bool save) {
    graph::Context* context = feed.context();
    if (!context) return;
    context->perform([this, feed, httpInfo, context, save] {
        if (feed.isDeleted()) return;
        std::optional<std::string> lastModified = httpInfo.lastModified;
        std::optional<std::string> eTag = httpInfo.eTag;
        // A 304 need not repeat the validators; the stored ones stay valid.
        if (httpInfo.isNotModified()) {
            if (!lastModified) lastModified = feed.httpLastModified();
            if (!eTag) eTag = feed.httpETag();
        }
        // Unchanged values are not saved again: a quiet refresh writes nothing.
        if (lastModified == feed.httpLastModified() && eTag == feed.httpETag()) return;
        if (save) {
            c_.nodes->setHTTPInfo(feed, WebServiceHTTPInfo{lastModified, eTag}, *context);
        } else {
            feed.setHttpLastModified(lastModified);
            feed.setHttpETag(eTag);
        }
    });
}

void FeedsManager::finishRefresh(const std::shared_ptr<RefreshErrorSlot>& slot, RefreshCompletion completion) {
    auto removeOldArticles = [this, slot, completion = std::move(completion)] {
        c_.articles->removeOldArticles([this, slot, completion](std::vector<Article> removed) {
            removeFromSearchIndex(
                removed,
                [this, completion](std::optional<RSSServiceError> error) {
                    if (completion) completion(std::move(error));
                    inFlight_.leave();
                },
                slot);
        });
    };
    whenSignInKnown([this, removeOldArticles = std::move(removeOldArticles)](bool cloudInUse) mutable {
        if (!cloudInUse) {
            removeOldArticles();
            return;
        }
        CloudSyncManager::shared()->downloadSyncInfo(bounded<>("the sync record", {}, std::move(removeOldArticles)));
    });
}

void FeedsManager::merge(Items items, const Feed& feed, WebServicePriority priority, bool flag,
                         Completion completion) {
    graph::Context* context = feed.context();
    if (!context) {
        if (completion) completion();
        return;
    }
    std::optional<graph::ObjectID> feedID;
    std::optional<graph::Date> lastUpdate;
    context->performAndWait([&] {
        if (feed.isDeleted()) return;
        feedID = feed.objectID();
        lastUpdate = feed.lastUpdate();
    });
    mergeInto(std::move(items), feed, *context, feedID, lastUpdate, priority, flag, std::move(completion));
}

void FeedsManager::mergeInto(Items items, const Feed& feed, graph::Context& feedContext,
                             const std::optional<graph::ObjectID>& feedID, std::optional<graph::Date> lastUpdate,
                             WebServicePriority priority, bool flag, Completion completion) {
    graph::Context* context = &feedContext;
    graph::Context* background = c_.dataController->backgroundContext().get();
    const graph::Date now = graph::Date::now();
    graph::Date latest = items && !items->empty() ? storeDate(items->front().date()) : now;
    if (items) for (const RSSArticle& item : *items) latest = std::max(latest, storeDate(item.date()));
    // An item dated in the future must not move lastUpdate past now, or the
    // feed's next items would be taken for old until that date.
    latest = std::min(latest, now);
    auto moveLastUpdate = [feed, latest] {
        if (feed.isDeleted()) return;
        std::optional<graph::Date> lastUpdate = feed.lastUpdate();
        if (!lastUpdate || *lastUpdate < latest) feed.setLastUpdate(latest);
    };
    // The feed of the background context (every feed but a selection's)
    // moves its lastUpdate in the same visit as its items go in.
    const bool withItems = items && feedID;
    const bool movedWithItems = withItems && context == background;
    QueuedMerge merge;
    if (withItems) {
        // Worked out here, outside the background context.
        NewArticles ready = newArticles(*items, lastUpdate);
        merge.insert = [this, items, ready, feedID = *feedID, priority, movedWithItems, moveLastUpdate] {
            insertArticles(*items, *ready, feedID, priority);
            if (movedWithItems) moveLastUpdate();
        };
    }
    merge.after = [this, context, movedWithItems, moveLastUpdate, flag, completion = std::move(completion)] {
        if (!movedWithItems) context->performAndWait(moveLastUpdate);
        std::shared_ptr<SaveCoalescer> saver = saver_;
        addArticleGroup_.notify(dispatch::GlobalQueue::shared(addArticleQueue_->qos()),
                                [saver, flag, completion] { saver->save(flag ? completion : Completion{}); });
        if (!flag) saver->save(completion);
    };
    queueMerge(std::move(merge));
}

void FeedsManager::queueMerge(QueuedMerge merge) {
    {
        std::lock_guard lock(queuedMergesMutex_);
        queuedMerges_.push_back(std::move(merge));
        if (std::exchange(mergesScheduled_, true)) return;
    }
    addArticleQueue_->async([this] { runQueuedMerges(); });
}

void FeedsManager::runQueuedMerges() {
    std::vector<QueuedMerge> batch;
    bool more = false;
    {
        std::lock_guard lock(queuedMergesMutex_);
        const std::size_t count = std::min(queuedMerges_.size(), mergesPerVisit);
        std::move(queuedMerges_.begin(), queuedMerges_.begin() + static_cast<std::ptrdiff_t>(count),
                  std::back_inserter(batch));
        queuedMerges_.erase(queuedMerges_.begin(), queuedMerges_.begin() + static_cast<std::ptrdiff_t>(count));
        more = mergesScheduled_ = !queuedMerges_.empty();
    }
    // Every merge goes through the list, so the rest, run later, still keeps the order.
    if (more) addArticleQueue_->async([this] { runQueuedMerges(); });
    // The feeds' items in document order, inside one visit of the background
    // context: a hand-over to that context per few feeds, not per item.
    c_.dataController->backgroundContext()->performAndWait([&] {
        for (QueuedMerge& merge : batch)
            if (merge.insert) merge.insert();
    });
    for (QueuedMerge& merge : batch) merge.after();
}

FeedsManager::NewArticles FeedsManager::newArticles(const std::vector<RSSArticle>& items,
                                                   std::optional<graph::Date> lastUpdate) {
    std::vector<ArticlesSource::NewArticle> ready;
    ready.reserve(items.size());
    for (const RemoteArticle& item : items) {
        ready.push_back({item.title(), storeDate(item.date()), item.content(), item.creator(), item.link(),
                         item.topImageURL()});
        if (ArticlesSource::isDatedAfter(lastUpdate, ready.back().date)) ArticlesSource::makeReady(ready.back());
    }
    return std::make_shared<const std::vector<ArticlesSource::NewArticle>>(std::move(ready));
}

void FeedsManager::insertArticles(const std::vector<RSSArticle>& items,
                                  const std::vector<ArticlesSource::NewArticle>& ready, const graph::ObjectID& feedID,
                                  WebServicePriority priority) {
    // Inside the background context, where the new articles live, so that
    // their steps need no hand-over to that context each.
    graph::Context& context = *c_.dataController->backgroundContext();
    context.performAndWait([&] {
        std::vector<std::pair<std::size_t, Article>> added = c_.articles->addArticles(ready, feedID);
        std::vector<graph::ObjectPtr> objects;
        objects.reserve(added.size());
        for (const auto& [index, article] : added) objects.push_back(article.object());
        if (added.empty()) return;
        // One write of the store for the feed's new articles, not one each;
        // their documents and prefetches name them by these IDs.
        (void)context.obtainPermanentIDs(objects);
        for (const auto& [index, article] : added) afterInsert(items[index], index, article, priority, knownTags_);
    });
}

void FeedsManager::afterInsert(const RemoteArticle& item, std::size_t index, const Article& article,
                               WebServicePriority priority, TagsSource::KnownTags& knownTags) {
    if (index < prefetchedItemCount || article.textContent().value_or("").empty()) {
        addArticleGroup_.enter();
        c_.prefetch->prefetch(article, PrefetchManager::linkToPrefetch(article), priority,
                              [this](bool) { addArticleGroup_.leave(); });
    }
    if (item.tags()) tagArticle(article, *item.tags(), knownTags);
    c_.search->indexArticle(article);
    notifyNewArticle(article);
}

void FeedsManager::tagArticle(const Article& article, const std::set<std::string>& names,
                              TagsSource::KnownTags& known) {
    graph::Context* context = article.context();
    if (!context) return;
    context->performAndWait([&] {
        TagsSource::TagSet tags;
        for (const std::string& name : names) c_.tags->addTag(name, *context, tags, &known);
        c_.tags->setTags(tags, article);
    });
}

void FeedsManager::notifyNewArticle(const Article& article) {
    std::shared_ptr<CloudUserManager> user = CloudUserManager::shared();
    auto notifyLocally = [article] { LocalNotificationsManager::shared()->notifyNewArticle(article); };
    if (user->isAuthenticated().has_value()) {
        // With the cloud in use its push subscription announces the article.
        if (!(*user->isAuthenticated() && c_.cloudEnabled && c_.cloudEnabled())) notifyLocally();
        return;
    }
    user->userRecordQueue().async([user, notifyLocally] {
        user->checkCloudAvailability([notifyLocally](std::optional<bool> available) {
            // Not known yet counts as in use.
            if (available.has_value() && !*available) notifyLocally();
        });
    });
}

void FeedsManager::addArticle(const CloudArticle& pushed, ArticleCompletion completion) {
    inFlight_.enter();
    auto created = std::make_shared<std::optional<Article>>();
    std::optional<URL> url = URL::parse(pushed.feedURL());
    std::optional<Feed> feed = url ? c_.nodes->feed(*url) : std::nullopt;
    std::optional<graph::ObjectID> feedID;
    if (feed) {
        if (graph::Context* context = feed->context()) context->performAndWait([&] { feedID = feed->objectID(); });
    }
    if (feedID) {
        *created = c_.articles->addArticle(pushed.title(), storeDate(pushed.date()), pushed.content(),
                                           pushed.creator(), pushed.link(), pushed.topImageURL(), *feedID, true);
    }
    if (*created) {
        addArticleGroup_.enter();
        c_.prefetch->prefetch(**created, WebServicePriority::low, [this](bool changed) {
            if (changed) {
                saver_->save([this] { addArticleGroup_.leave(); });
            } else {
                addArticleGroup_.leave();
            }
        });
        c_.search->indexArticle(**created);
    }
    addArticleGroup_.notify(*addArticleQueue_, [this, created, completion = std::move(completion)] {
        if (completion) completion(*created);
        inFlight_.leave();
    });
}

// --- Folders, renaming, moving, deleting, cancelling ---

void FeedsManager::folder(const std::string& name) {
    if (!c_.nodes->folder(name)) c_.nodes->addFolder(name);
}

void FeedsManager::rename(const Node& node, const std::string& name) {
    if (node.context()) c_.nodes->setName(node, name);
    CloudUserManager::shared()->saveUserFeeds({});
}

bool FeedsManager::move(const graph::ObjectID& nodeID, const std::optional<graph::ObjectID>& folderID,
                        std::size_t index, bool syncCloud) {
    const bool moved = c_.nodes->moveNode(nodeID, static_cast<std::int64_t>(index), folderID);
    if (syncCloud) CloudUserManager::shared()->saveUserFeeds({});
    return moved;
}

void FeedsManager::deleteFeed(const std::string& urlString) {
    // The exact address first: a prefix may also begin a longer address of
    // another feed, and which of them a prefix lookup finds is not defined.
    std::optional<URL> url = URL::parse(urlString);
    std::optional<Feed> feed = url ? c_.nodes->feed(*url) : std::nullopt;
    if (!feed) feed = c_.nodes->feed(urlString);
    if (feed) deleteNode(*feed, false);
}

void FeedsManager::deleteNode(const Node& node, bool cloudUpdate) {
    std::vector<Feed> feeds;
    if (graph::Context* context = node.context()) {
        context->performAndWait([&] {
            if (auto folder = node.asFolder()) {
                feeds = folder->feeds();
            } else if (auto feed = node.asFeed()) {
                feeds.push_back(*feed);
            }
        });
    }
    for (const Feed& feed : feeds) {
        graph::Context* context = feed.context();
        if (!context) continue;
        context->performAndWait([&] { removeSearchDocuments(feed.articles()); });
    }
    c_.search->compactIndex();
    c_.nodes->deleteNodes(node, [this, cloudUpdate] {
        if (cloudUpdate) updateCloudFeedLists();
    });
}

void FeedsManager::updateCloudFeedLists() {
    std::shared_ptr<CloudUserManager> user = CloudUserManager::shared();
    std::optional<std::vector<Feed>> notifying = c_.nodes->notifyingFeeds();
    if (notifying && !notifying->empty()) {
        CloudNotificationsManager::shared()->updateNewArticleSubscription(
            std::move(*notifying), [user] { user->saveAllFeedLists({}); });
        return;
    }
    user->guidRecordQueue().async([user] { user->saveAllFeedLists({}); });
}

void FeedsManager::removeSearchDocuments(const std::vector<Article>& articles) {
    for (const Article& article : articles) {
        if (std::optional<std::string> uri = c_.search->documentURI(article)) {
            c_.search->removeDocument(*uri);
        }
    }
}

void FeedsManager::removeFromSearchIndex(const std::vector<Article>& articles, SearchRemovalCompletion completion,
                                         const std::shared_ptr<RefreshErrorSlot>& holder) {
    for (const Article& article : articles) {
        graph::Context* context = article.context();
        if (!context) continue;
        context->performAndWait([&] { removeSearchDocuments({article}); });
    }
    // Compaction pays off after removals only; a refresh that removed no old
    // article has nothing to compact.
    if (!articles.empty()) c_.search->compactIndex();
    if (completion) completion(holder ? holder->error() : std::nullopt);
}

void FeedsManager::cancel(const std::string& urlString) {
    std::optional<URL> url = URL::parse(urlString);
    if (!url) return;
    c_.webService->cancel(*url);
    CloudFeedsManager::shared()->cancelOperation(urlString);
}

void FeedsManager::cancelAll() {
    c_.rssService->cancelAll();
    CloudFeedsManager::shared()->cancelAllOperations();
}

}  // namespace tallowmere
