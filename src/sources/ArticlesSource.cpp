#include "sources/ArticlesSource.h"

#include <cmath>
#include <ctime>
#include <random>
#include <unordered_set>

#include "foundation/DispatchQueueFactory.h"
#include "foundation/HTMLText.h"
#include "foundation/Logger.h"
#include "foundation/TextOperations.h"
#include "foundation/URLIdentityHash.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/ArticlesSourceDelegate.h"
#include "sources/NodesSource.h"
#include "store/Folder.h"

namespace tallowmere {

using graph::Comparison;
using graph::Date;
using graph::ObjectID;
using graph::Predicate;
using graph::Value;

namespace {

// Midnight of today in the local calendar.
Date startOfToday() {
    const Date now = Date::now();
    std::time_t seconds = static_cast<std::time_t>(std::floor(now.seconds));
    std::tm local{};
    localtime_r(&seconds, &local);
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    return Date{static_cast<double>(std::mktime(&local))};
}

// The same local time `days` calendar days earlier; nothing when the
// calendar cannot say.
std::optional<Date> calendarDaysBeforeNow(int days) {
    const Date now = Date::now();
    const double whole = std::floor(now.seconds);
    std::time_t seconds = static_cast<std::time_t>(whole);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return std::nullopt;
    local.tm_mday -= days;
    local.tm_isdst = -1;
    const std::time_t earlier = std::mktime(&local);
    if (earlier == static_cast<std::time_t>(-1)) return std::nullopt;
    return Date{static_cast<double>(earlier) + (now.seconds - whole)};
}

// Uniform in [0, 1], 1 included: items of one date get distinct stored dates.
double randomFractionOfSecond() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<double>(generator()) / 4294967295.0;
}

std::vector<Article> articlesOf(const graph::FetchResults& results) {
    return makeHandles<Article>(results.all());
}

std::optional<std::size_t> itemOf(const std::optional<graph::IndexPath>& path) {
    if (!path) return std::nullopt;
    return path->item;
}

}  // namespace

// --- Construction ---

ArticlesSource& ArticlesSource::shared() {
    // Lives for the whole process, past the end of main.
    static ArticlesSource* const instance = new ArticlesSource(
        DataController::shared(), [] { return std::optional<std::vector<Feed>>(NodesSource::shared()->allFeeds()); });
    return *instance;
}

ArticlesSource::ArticlesSource(std::shared_ptr<DataController> dataController, AllFeeds allFeeds)
    : dataController_(std::move(dataController)),
      allFeeds_(std::move(allFeeds)),
      articlesUpdateQueue_(makeDispatchQueue(articlesUpdateQueueLabel, QualityOfService::utility)) {
    updateResultsController();
}

ArticlesSource::~ArticlesSource() {
    if (resultsController_) resultsController_->setDelegate(nullptr);
}

std::shared_ptr<ArticlesSourceDelegate> ArticlesSource::delegate() const { return delegate_.lock(); }

void ArticlesSource::setDelegate(std::weak_ptr<ArticlesSourceDelegate> delegate) { delegate_ = std::move(delegate); }

// --- The list ---

void ArticlesSource::setFeedsInfo(std::optional<ArticlesSourceFeedsInfo> feedsInfo) {
    const bool changed = feedsInfo != feedsInfo_;
    // The list made at construction already holds every article: the first
    // selection of all articles (the usual one at start-up) keeps it rather
    // than reading the whole store again. The live list follows every change.
    const bool sameRows = resultsController_ && !resultsControllerNeedsUpdate_ && listsEveryArticle(feedsInfo_) &&
                          listsEveryArticle(feedsInfo);
    feedsInfo_ = std::move(feedsInfo);
    if (!changed) return;
    if (!sameRows) {
        resultsControllerNeedsUpdate_ = true;
        updateResultsController();
    }
    if (auto delegate = delegate_.lock()) delegate->articlesSourceDidReloadArticles();
}

void ArticlesSource::setSortUnreadAscending(bool ascending) {
    const bool changed = ascending != sortUnreadAscending_;
    sortUnreadAscending_ = ascending;
    if (!changed) return;
    resultsControllerNeedsUpdate_ = true;
    updateResultsController();
}

void ArticlesSource::setGroupByFeed(bool group) {
    const bool changed = group != groupByFeed_;
    groupByFeed_ = group;
    if (!changed) return;
    resultsControllerNeedsUpdate_ = true;
    updateResultsController();
}

bool ArticlesSource::listsEveryArticle(const std::optional<ArticlesSourceFeedsInfo>& feedsInfo) {
    return !feedsInfo || (!feedsInfo->filter && (!feedsInfo->feeds || feedsInfo->feeds->empty()));
}

bool ArticlesSource::sortsAscending() const {
    if (!sortUnreadAscending_ || !feedsInfo_ || !feedsInfo_->filter) return false;
    return *feedsInfo_->filter == ArticlesSourceFilter::unread || *feedsInfo_->filter == ArticlesSourceFilter::today;
}

void ArticlesSource::updateResultsController() {
    if (!resultsControllerNeedsUpdate_) return;
    resultsControllerNeedsUpdate_ = false;
    predicate_ = makePredicate();

    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = *predicate_;
    if (groupByFeed_) request.sortDescriptors.push_back({"feed.sortName", true, true});
    request.sortDescriptors.push_back({Article::Key::date, sortsAscending(), false});
    request.prefetchKeyPaths = {Article::Key::feed};
    request.batchSize = fetchBatchSize;

    if (resultsController_) resultsController_->setDelegate(nullptr);
    const auto& context = dataController_->mainContext();
    resultsController_ = std::make_unique<graph::FetchedResultsController>(context, std::move(request));
    ++listGeneration_;
    resultsController_->setDelegate(this);
    // A failed fetch leaves the list empty.
    context->performAndWait([&] { (void)resultsController_->performFetch(); });
}

Predicate ArticlesSource::filterPredicate(std::optional<ArticlesSourceFilter> filter) {
    if (!filter) return Predicate::truePredicate();
    // An article read after the list was built stays in an unread list until
    // the next rebuild instead of vanishing under the reader.
    const Predicate unread = Predicate::anyOfSeparately({Predicate::notNil(Article::Key::unreadInFeed),
                                               Predicate::compare(Article::Key::readDate, Comparison::greater, Date::now())});
    switch (*filter) {
    case ArticlesSourceFilter::today:
        return Predicate::allOf(
            {Predicate::compare(Article::Key::date, Comparison::greaterOrEqual, startOfToday()), unread});
    case ArticlesSourceFilter::unread:
        return unread;
    case ArticlesSourceFilter::starred:
        return Predicate::notNil(Article::Key::starredInFeed);
    }
    return Predicate::truePredicate();
}

Predicate ArticlesSource::makePredicate() const {
    Predicate predicate = filterPredicate(feedsInfo_ ? feedsInfo_->filter : std::nullopt);
    if (feedsInfo_ && feedsInfo_->feeds && !feedsInfo_->feeds->empty()) {
        // One list of feeds rather than one comparison per feed: the same
        // rows, and a folder of hundreds of feeds stays one lookup.
        std::vector<Value> feeds;
        feeds.reserve(feedsInfo_->feeds->size());
        for (const Feed& feed : *feedsInfo_->feeds) feeds.emplace_back(feed.objectID());
        predicate = Predicate::allOf({Predicate::in(Article::Key::feed, std::move(feeds)), predicate});
    }
    if (articleIDs_) {
        std::vector<Value> ids(articleIDs_->begin(), articleIDs_->end());
        predicate = Predicate::allOf({Predicate::in("self", std::move(ids)), predicate});
    }
    return predicate;
}

std::size_t ArticlesSource::numberOfArticles() const {
    if (!resultsController_ || resultsController_->numberOfSections() == 0) return 0;
    return resultsController_->numberOfObjects(0);
}

void ArticlesSource::reload(bool force) {
    if (force) resultsControllerNeedsUpdate_ = true;
    updateResultsController();
}

std::optional<Article> ArticlesSource::article(const ObjectID& objectID) const {
    auto object = dataController_->mainContext()->existingObject(objectID);
    if (!object.ok()) return std::nullopt;
    return Article::from(object.value());
}

std::optional<Article> ArticlesSource::article(std::size_t row) const { return articleAt(row); }

std::vector<ObjectID> ArticlesSource::listedArticleIDs() const {
    if (!resultsController_) return {};
    return resultsController_->objectIDs();
}

std::optional<ObjectID> ArticlesSource::listedArticleID(std::size_t row) const {
    if (row >= numberOfArticles()) return std::nullopt;
    return resultsController_->objectID(graph::IndexPath{0, row});
}

std::optional<Article> ArticlesSource::articleAt(std::size_t row) const {
    if (row >= numberOfArticles()) return std::nullopt;
    return Article::from(resultsController_->object(graph::IndexPath{0, row}));
}

std::pair<std::optional<Article>, std::size_t> ArticlesSource::previousArticle(const Article& article) const {
    auto path = resultsController_ ? resultsController_->indexPath(article.objectID()) : std::nullopt;
    if (!path || path->item == 0) return {std::nullopt, 0};
    return {articleAt(path->item - 1), path->item - 1};
}

std::pair<std::optional<Article>, std::size_t> ArticlesSource::nextArticle(const Article& article) const {
    auto path = resultsController_ ? resultsController_->indexPath(article.objectID()) : std::nullopt;
    if (!path || path->item + 1 >= numberOfArticles()) return {std::nullopt, 0};
    return {articleAt(path->item + 1), path->item + 1};
}

std::optional<std::size_t> ArticlesSource::row(const Article& article) const {
    if (!resultsController_) return std::nullopt;
    return itemOf(resultsController_->indexPath(article.objectID()));
}

std::optional<Article> ArticlesSource::article(const std::string& linkPrefix, const std::string& feedURLPrefix) const {
    return firstArticle(Predicate::allOf({Predicate::beginsWithFolded(Article::Key::link, linkPrefix),
                                          Predicate::beginsWithFolded("feed.url", feedURLPrefix)}));
}

std::optional<Article> ArticlesSource::articleMatching(const std::string& link, const std::string& feedURL) const {
    return firstArticle(Predicate::allOf(
        {Predicate::equalsFolded(Article::Key::link, link),
         Predicate::anyOf({Predicate::equalsFolded("feed.url", feedURL), Predicate::equalsFolded("feed.url", feedURL + "/")})}));
}

std::optional<Article> ArticlesSource::firstArticle(graph::Predicate predicate) const {
    graph::FetchRequest request = Article::fetchRequest();
    request.fetchLimit = 1;
    request.predicate = std::move(predicate);
    auto& context = *dataController_->backgroundContext();
    std::optional<Article> found;
    context.performAndWait([&] {
        auto results = context.fetch(request);
        if (results.ok() && !results->empty()) found = Article::from(results->front());
    });
    return found;
}

std::size_t ArticlesSource::articlesCount(std::optional<ArticlesSourceFilter> filter) const {
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = filterPredicate(filter);
    auto& context = *dataController_->mainContext();
    std::size_t count = 0;
    context.performAndWait([&] {
        auto counted = context.count(request);
        if (counted.ok()) count = counted.value();
    });
    return count;
}

void ArticlesSource::countArticles(std::vector<std::optional<ArticlesSourceFilter>> filters,
                                   CountsCompletion completion) const {
    std::call_once(countContextMade_, [this] {
        countContext_ = dataController_->persistentContainer().newPrivateContext(countQueueLabel);
        countContext_->setAutomaticallyMergesChanges(false);
    });
    // The block holds its context weakly, as a context's own blocks do.
    countContext_->perform([weakContext = std::weak_ptr<graph::Context>(countContext_), filters = std::move(filters),
                            completion = std::move(completion)] {
        std::vector<std::size_t> counts(filters.size(), 0);
        if (auto context = weakContext.lock()) {
            for (std::size_t index = 0; index < filters.size(); ++index) {
                graph::FetchRequest request = Article::fetchRequest();
                request.predicate = filterPredicate(filters[index]);
                auto counted = context->count(request);
                if (counted.ok()) counts[index] = counted.value();
            }
        }
        completion(std::move(counts));
    });
}

// --- Change delivery ---

void ArticlesSource::controllerWillChangeContent(graph::FetchedResultsController&) {
    if (auto delegate = delegate_.lock()) delegate->articlesSourceWillChangeArticles();
}

void ArticlesSource::controllerDidChangeObject(graph::FetchedResultsController&, const ObjectID&,
                                               std::optional<graph::IndexPath> oldPath, graph::ResultsChange type,
                                               std::optional<graph::IndexPath> newPath) {
    if (auto delegate = delegate_.lock()) delegate->articlesSourceDidChangeArticle(itemOf(oldPath), type, itemOf(newPath));
}

void ArticlesSource::controllerDidChangeContent(graph::FetchedResultsController&) {
    if (auto delegate = delegate_.lock()) delegate->articlesSourceDidChangeArticles();
}

// --- Read and starred state ---

namespace {

void run(const ArticlesSource::Completion& completion) {
    if (completion) completion();
}

}  // namespace

void ArticlesSource::setStarred(const Article& article, bool starred, Completion completion) {
    setStarred(std::vector<Article>{article}, starred, std::move(completion));
}

void ArticlesSource::setStarred(const std::vector<Article>& articles, bool starred, Completion completion) {
    graph::Context* context = articles.empty() ? nullptr : articles.front().context();
    if (!context) {
        run(completion);
        return;
    }
    context->performAndWait([&] { setArticlesStarred(articles, starred, *context); });
    run(completion);
    if (auto delegate = delegate_.lock()) delegate->articlesSourceDidUpdate(articles);
}

void ArticlesSource::setRead(const Article& article, bool read, Completion completion) {
    setRead(std::vector<Article>{article}, read, std::move(completion));
}

void ArticlesSource::setRead(const std::vector<Article>& articles, bool read, Completion completion) {
    graph::Context* context = articles.empty() ? nullptr : articles.front().context();
    if (!context) {
        run(completion);
        return;
    }
    const Date date = Date::now();
    context->perform([this, articles, read, date, context, completion = std::move(completion)]() mutable {
        setArticlesRead(articles, read, date, *context, std::move(completion));
    });
}

void ArticlesSource::setArticlesStarred(const std::vector<Article>& articles, bool starred, graph::Context& context) {
    for (const Article& article : articles) article.setStarredInFeed(starred ? article.feed() : std::nullopt);
    // A failed save leaves the change in the context for the next save.
    (void)context.save();
}

void ArticlesSource::setArticlesRead(const std::vector<Article>& articles, bool read, Date date, graph::Context& context,
                                     Completion completion) {
    for (const Article& article : articles) {
        const bool unread = !graph::isNull(article.object()->value(Article::Key::unreadInFeed));
        if (read && unread) {
            article.setUnreadInFeed(std::nullopt);
            article.setReadDate(date);
        } else if (!read && !unread) {
            article.setUnreadInFeed(article.feed());
            article.setReadDate(std::nullopt);
        }
    }
    (void)context.save();
    run(completion);
}

void ArticlesSource::markAllAsRead(Completion completion) {
    const std::optional<ArticlesSourceFilter> filter = feedsInfo_ ? feedsInfo_->filter : std::nullopt;
    const bool narrowed = filter == ArticlesSourceFilter::today || filter == ArticlesSourceFilter::starred;
    if (articleIDs_ || narrowed) {
        const Predicate list = predicate_ ? *predicate_ : makePredicate();
        markAllAsRead(Predicate::allOf({list, Predicate::notNil(Article::Key::unreadInFeed)}), std::move(completion));
        return;
    }
    // An empty feed set means all feeds, as the list shows it.
    if (feedsInfo_ && feedsInfo_->feeds && !feedsInfo_->feeds->empty()) {
        markAllAsRead(*feedsInfo_->feeds, std::move(completion));
        return;
    }
    markAllFeedsAsRead(std::move(completion));
}

void ArticlesSource::markAllAsRead(const Node& node, Completion completion) {
    std::optional<std::vector<Feed>> feeds;
    if (graph::Context* context = node.context()) {
        context->performAndWait([&] {
            if (auto folder = node.asFolder()) {
                feeds = folder->feeds();
            } else if (auto feed = node.asFeed()) {
                feeds = std::vector<Feed>{*feed};
            }
        });
    }
    if (!feeds) {
        run(completion);
        return;
    }
    markAllAsRead(*feeds, std::move(completion));
}

void ArticlesSource::markAllFeedsAsRead(Completion completion) {
    std::optional<std::vector<Feed>> feeds = allFeeds_ ? allFeeds_() : std::nullopt;
    // Before the node source has loaded its feeds there is nothing to mark.
    markAllAsRead(feeds ? *feeds : std::vector<Feed>{}, std::move(completion));
}

void ArticlesSource::markAllAsRead(const std::vector<Feed>& feeds, Completion completion) {
    graph::Context* context = feeds.empty() ? nullptr : feeds.front().context();
    if (!context) {
        run(completion);
        return;
    }
    context->perform([this, feeds, context, completion = std::move(completion)]() mutable {
        std::vector<Value> feedIDs;
        feedIDs.reserve(feeds.size());
        for (const Feed& feed : feeds) feedIDs.emplace_back(feed.objectID());
        if (markReadInStore(*context, Predicate::in(Article::Key::unreadInFeed, std::move(feedIDs)), completion)) return;
        std::vector<Article> unread;
        for (const Feed& feed : feeds) {
            std::vector<Article> ofFeed = feed.unreadArticles();
            unread.insert(unread.end(), ofFeed.begin(), ofFeed.end());
        }
        setRead(unread, true, std::move(completion));
    });
}

void ArticlesSource::markAllAsRead(const Predicate& predicate, Completion completion) {
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = predicate;
    request.prefetchKeyPaths = {Article::Key::feed};
    graph::Context* context = dataController_->backgroundContext().get();
    context->perform([this, request, context, completion = std::move(completion)]() mutable {
        if (markReadInStore(*context, request.predicate, completion)) return;
        auto results = context->fetch(request);
        if (!results.ok()) {
            run(completion);
            return;
        }
        const Date date = Date::now();
        context->perform([this, articles = articlesOf(results.value()), date, context,
                          completion = std::move(completion)]() mutable {
            setArticlesRead(articles, true, date, *context, std::move(completion));
        });
    });
}

bool ArticlesSource::markReadInStore(graph::Context& context, const Predicate& unread, Completion& completion) {
    // With changes of its own pending the context marks its objects one by one.
    if (context.hasChanges()) return false;
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = Predicate::allOf({unread, Predicate::notNil(Article::Key::unreadInFeed)});
    const Date date = Date::now();
    auto marked = context.updateAll(request, {{Article::Key::unreadInFeed, Value{}}, {Article::Key::readDate, date}});
    if (!marked.ok()) return false;
    run(completion);
    return true;
}

std::vector<std::int64_t> ArticlesSource::unreadArticleHashes() const {
    return articleHashes(Predicate::notNil(Article::Key::unreadInFeed));
}

std::vector<std::int64_t> ArticlesSource::starredArticleHashes() const {
    return articleHashes(Predicate::notNil(Article::Key::starredInFeed));
}

std::vector<std::int64_t> ArticlesSource::articleHashes(const Predicate& predicate) const {
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = Predicate::allOf({predicate, Predicate::notEqual(Article::Key::tallowmereHash, std::int64_t{0})});
    auto& context = *dataController_->backgroundContext();
    std::vector<std::int64_t> hashes;
    context.performAndWait([&] {
        auto rows = context.fetchValues(request, {Article::Key::tallowmereHash});
        if (!rows.ok()) return;
        hashes.reserve(rows->size());
        for (const auto& row : rows.value()) {
            if (const auto* hash = std::get_if<std::int64_t>(&row.front())) hashes.push_back(*hash);
        }
    });
    return hashes;
}

void ArticlesSource::applySyncInfo(std::optional<std::vector<std::int64_t>> unreadHashes,
                                   std::optional<std::vector<std::int64_t>> starredHashes, Date date,
                                   Completion completion) {
    using Key = Article::Key;
    if (unreadHashes) {
        // Unread here, not unread in the cloud, published before the record changed.
        articlesUpdateGroup_.enter();
        fetchArticles(*unreadHashes, true, Predicate::notNil(Key::unreadInFeed), date,
                      [this](auto articles) { syncRead(std::move(articles), true); });
        // Read here, unread in the cloud, unless read here after the record changed.
        articlesUpdateGroup_.enter();
        fetchArticles(*unreadHashes, false,
                      Predicate::allOf({Predicate::isNil(Key::unreadInFeed),
                                        Predicate::anyOf({Predicate::isNil(Key::readDate),
                                                          Predicate::compare(Key::readDate, Comparison::less, date)})}),
                      std::nullopt, [this](auto articles) { syncRead(std::move(articles), false); });
    }
    if (starredHashes) {
        articlesUpdateGroup_.enter();
        fetchArticles(*starredHashes, false, Predicate::isNil(Key::starredInFeed), std::nullopt,
                      [this](auto articles) { syncStarred(std::move(articles), true); });
        articlesUpdateGroup_.enter();
        fetchArticles(*starredHashes, true, Predicate::notNil(Key::starredInFeed), std::nullopt,
                      [this](auto articles) { syncStarred(std::move(articles), false); });
    }
    articlesUpdateGroup_.notify(*articlesUpdateQueue_, [completion = std::move(completion)] { run(completion); });
}

void ArticlesSource::fetchArticles(const std::vector<std::int64_t>& hashes, bool excluding, const Predicate& predicate,
                                   std::optional<Date> before, ArticlesHandler handler) {
    Predicate listed = Predicate::in(Article::Key::tallowmereHash, std::vector<Value>(hashes.begin(), hashes.end()));
    if (excluding) listed = Predicate::negation(listed);
    std::vector<Predicate> parts{listed, predicate};
    if (before) parts.push_back(Predicate::compare(Article::Key::date, Comparison::less, *before));

    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = Predicate::allOf(std::move(parts));
    request.prefetchKeyPaths = {Article::Key::feed, Article::Key::unreadInFeed, Article::Key::starredInFeed};
    graph::Context* context = dataController_->backgroundContext().get();
    context->perform([request, context, handler = std::move(handler)] {
        auto results = context->fetch(request);
        if (!results.ok()) {
            handler(std::nullopt);
            return;
        }
        handler(articlesOf(results.value()));
    });
}

void ArticlesSource::syncRead(std::optional<std::vector<Article>> articles, bool read) {
    articlesUpdateQueue_->async([this, articles = std::move(articles), read]() mutable {
        graph::Context* context = articles && !articles->empty() ? articles->front().context() : nullptr;
        if (!context) {
            articlesUpdateGroup_.leave();
            return;
        }
        const Date date = Date::now();
        context->perform([this, articles = std::move(*articles), read, date, context] {
            setArticlesRead(articles, read, date, *context, [this] { articlesUpdateGroup_.leave(); });
        });
    });
}

void ArticlesSource::syncStarred(std::optional<std::vector<Article>> articles, bool starred) {
    articlesUpdateQueue_->async([this, articles = std::move(articles), starred] {
        graph::Context* context = articles && !articles->empty() ? articles->front().context() : nullptr;
        if (!context) {
            articlesUpdateGroup_.leave();
            return;
        }
        context->performAndWait([&] { setArticlesStarred(*articles, starred, *context); });
        articlesUpdateGroup_.leave();
        if (auto delegate = delegate_.lock()) delegate->articlesSourceDidUpdate(*articles);
    });
}

// --- Storing new articles ---

std::optional<Article> ArticlesSource::addArticle(const std::string& title, Date date, const std::string& content,
                                                  const std::optional<std::string>& creator, const std::string& link,
                                                  const std::optional<std::string>& topImageURL, const ObjectID& feedID,
                                                  bool ignoringLastUpdate, bool permanentID) {
    return addArticle(NewArticle{title, date, content, creator, link, topImageURL}, feedID, ignoringLastUpdate,
                      permanentID);
}

void ArticlesSource::makeReady(NewArticle& item) {
    if (item.ready) return;
    item.strippedTitle = strippingHTML(item.title, false);
    item.textContent = strippingHTML(item.content, true);
    // Stripped before it is cut, so that no half tag can remain.
    item.descriptionContent = leadingCharacters(strippingHTML(item.textContent, false), descriptionLength);
    item.linkHash = URLIdentityHash::hash(item.link);
    item.ready = true;
}

std::optional<Article> ArticlesSource::addArticle(const NewArticle& item, const ObjectID& feedID,
                                                  bool ignoringLastUpdate, bool permanentID) {
    std::optional<Feed> feed = liveFeed(feedID);
    if (!feed) return std::nullopt;
    if (!isNewArticle(ignoringLastUpdate ? std::nullopt : std::optional(item.date), item.link, *feed))
        return std::nullopt;
    auto& context = *dataController_->backgroundContext();
    std::optional<Article> article;
    context.performAndWait([&] {
        article = insertArticle(item, *feed);
        if (permanentID) (void)context.obtainPermanentIDs({article->object()});
    });
    return article;
}

std::vector<std::pair<std::size_t, Article>> ArticlesSource::addArticles(const std::vector<NewArticle>& items,
                                                                         const ObjectID& feedID) {
    std::vector<std::pair<std::size_t, Article>> added;
    auto& context = *dataController_->backgroundContext();
    context.performAndWait([&] {
        std::optional<Feed> feed = liveFeed(feedID);
        if (!feed) return;
        std::optional<Date> lastUpdate;
        if (graph::Context* feedContext = feed->context())
            feedContext->performAndWait([&] { lastUpdate = feed->lastUpdate(); });
        // Asked for when the first item is recent enough: a refresh mostly
        // sees items it already has, and dated before the last update.
        std::optional<std::unordered_set<std::string>> links;
        for (std::size_t index = 0; index < items.size(); ++index) {
            const NewArticle& item = items[index];
            if (!isDatedAfter(lastUpdate, item.date)) continue;
            if (!links && !(links = storedLinks(*feed))) return;
            // Also the second of two items with one link.
            if (!links->insert(item.link).second) continue;
            added.emplace_back(index, insertArticle(item, *feed));
        }
    });
    return added;
}

std::optional<Feed> ArticlesSource::liveFeed(const ObjectID& feedID) const {
    auto& context = *dataController_->backgroundContext();
    std::optional<Feed> feed;
    context.performAndWait([&] {
        auto object = context.existingObject(feedID);
        if (!object.ok()) return;
        feed = Feed::from(object.value());
        if (feed && feed->isDeleted()) feed.reset();
    });
    return feed;
}

std::optional<std::unordered_set<std::string>> ArticlesSource::storedLinks(const Feed& feed) const {
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = Predicate::equal(Article::Key::feed, feed.objectID());
    auto& context = *dataController_->backgroundContext();
    std::optional<std::unordered_set<std::string>> links;
    context.performAndWait([&] {
        auto rows = context.fetchValues(request, {Article::Key::link});
        if (!rows.ok()) return;
        links.emplace();
        for (const auto& row : rows.value())
            if (const auto* link = std::get_if<std::string>(&row.front())) links->insert(*link);
    });
    return links;
}

Article ArticlesSource::insertArticle(NewArticle item, const Feed& feed) {
    makeReady(item);
    auto& context = *dataController_->backgroundContext();
    const Date now = Date::now();
    Article article = Article::insert(context);
    article.setCreatedAt(Date::now());
    article.setTitle(item.strippedTitle);
    article.setDate(Date{(item.date > now ? now : item.date).seconds + randomFractionOfSecond()});
    article.setPreviewContent(item.content);
    article.setTextContent(item.textContent);
    article.setDescriptionContent(item.descriptionContent);
    article.setCreator(item.creator);
    article.setLink(item.link);
    article.setTopImage(item.topImageURL);
    article.setFeed(feed);
    article.setUnreadInFeed(feed);
    article.setTallowmereHash(item.linkHash);
    return article;
}

bool ArticlesSource::isNewArticle(std::optional<Date> date, const std::string& link, const Feed& feed) const {
    if (date) {
        graph::Context* feedContext = feed.context();
        if (!feedContext) return false;
        bool candidate = false;
        feedContext->performAndWait([&] {
            candidate = isDatedAfter(feed.lastUpdate(), *date);
        });
        if (!candidate) return false;
    }
    graph::FetchRequest request = Article::fetchRequest();
    request.predicate = Predicate::allOf(
        {Predicate::equal(Article::Key::link, link), Predicate::equal(Article::Key::feed, feed.objectID())});
    auto& context = *dataController_->backgroundContext();
    bool isNew = false;
    context.performAndWait([&] {
        auto count = context.count(request);
        isNew = count.ok() && count.value() == 0;
    });
    return isNew;
}

// --- Removing old articles ---

Predicate ArticlesSource::removablePredicate(Date cutoff) {
    return Predicate::allOf({Predicate::isNil(Article::Key::starredInFeed),
                             Predicate::anyOf({Predicate::compare(Article::Key::createdAt, Comparison::less, cutoff),
                                               Predicate::isNil(Article::Key::createdAt)})});
}

std::optional<std::vector<Article>> ArticlesSource::oldArticlesInStore(const std::vector<Feed>& feeds, Date cutoff) {
    graph::Context& context = *dataController_->backgroundContext();
    // The feeds' own pending articles count too: then feed by feed.
    if (context.hasChanges()) return std::nullopt;
    // Only feeds with something removable are counted whole: in a store that
    // keeps up, that is a handful, and the cost follows them, not the store.
    graph::FetchRequest removable = Article::fetchRequest();
    removable.predicate = removablePredicate(cutoff);
    auto candidates = context.countsByKey(removable, Article::Key::feed);
    if (!candidates.ok()) return std::nullopt;
    std::unordered_set<graph::ObjectID, graph::ObjectIDHash> listed;
    for (const Feed& feed : feeds) listed.insert(feed.objectID());
    std::vector<Value> candidateIDs;
    for (const auto& [feed, count] : candidates.value())
        if (listed.count(feed)) candidateIDs.emplace_back(feed);
    if (candidateIDs.empty()) return std::vector<Article>{};
    graph::FetchRequest all = Article::fetchRequest();
    all.predicate = Predicate::in(Article::Key::feed, std::move(candidateIDs));
    auto counts = context.countsByKey(all, Article::Key::feed);
    if (!counts.ok()) return std::nullopt;
    graph::Context::KeyCounts limits;
    for (const auto& [feed, count] : counts.value())
        if (count > keptArticlesPerFeed) limits.emplace_back(feed, count - keptArticlesPerFeed);
    graph::FetchRequest request = Article::fetchRequest();
    request.sortDescriptors = {{Article::Key::date, true, false}, {Article::Key::createdAt, true, false}};
    request.predicate = removablePredicate(cutoff);
    auto ids = context.fetchObjectIDs(request, Article::Key::feed, limits);
    if (!ids.ok()) return std::nullopt;
    std::vector<Article> articles;
    articles.reserve(ids->size());
    for (const auto& id : ids.value())
        if (auto article = Article::from(context.object(id))) articles.push_back(std::move(*article));
    return articles;
}

void ArticlesSource::removeOldArticles(RemovalCompletion completion) {
    const std::optional<Date> cutoff = calendarDaysBeforeNow(oldArticleDays);
    if (!cutoff) {
        completion({});
        return;
    }
    struct Found {
        std::mutex mutex;
        std::vector<Article> articles;
    };
    auto found = std::make_shared<Found>();
    graph::Context* background = dataController_->backgroundContext().get();
    const std::optional<std::vector<Feed>> feeds = allFeeds_ ? allFeeds_() : std::nullopt;
    std::optional<std::vector<Article>> old;
    background->performAndWait([&] { old = oldArticlesInStore(feeds ? *feeds : std::vector<Feed>{}, *cutoff); });
    if (old) {
        std::lock_guard lock(found->mutex);
        found->articles = std::move(*old);
    }
    for (const Feed& feed : old || !feeds ? std::vector<Feed>{} : *feeds) {
        long limit = 0;
        if (graph::Context* context = feed.context()) {
            context->performAndWait(
                [&] { limit = static_cast<long>(feed.articleCount()) - static_cast<long>(keptArticlesPerFeed); });
        }
        if (limit <= 0) continue;

        graph::FetchRequest request = Article::fetchRequest();
        request.prefetchKeyPaths = {Article::Key::feed};
        request.batchSize = fetchBatchSize;
        request.fetchLimit = static_cast<std::size_t>(limit);
        request.sortDescriptors = {{Article::Key::date, true, false}, {Article::Key::createdAt, true, false}};
        request.predicate =
            Predicate::allOf({Predicate::equal(Article::Key::feed, feed.objectID()), removablePredicate(*cutoff)});
        articlesRemovalGroup_.enter();
        background->perform([this, request, background, found] {
            auto results = background->fetch(request);
            if (results.ok()) {
                std::vector<Article> old = articlesOf(results.value());
                std::lock_guard lock(found->mutex);
                found->articles.insert(found->articles.end(), old.begin(), old.end());
            }
            articlesRemovalGroup_.leave();
        });
    }
    articlesRemovalGroup_.notify(dispatch::MainQueue::shared(), [found, background,
                                                                 completion = std::move(completion)] {
        std::vector<Article> articles;
        {
            std::lock_guard lock(found->mutex);
            articles = std::move(found->articles);
        }
        if (articles.empty()) {
            completion({});
            return;
        }
        background->perform([background, articles = std::move(articles), completion] {
            for (const Article& article : articles) background->deleteObject(article.object());
            auto saved = background->save();
            if (!saved.ok()) {
                Logger::error([&] { return "error removing old articles: " + saved.error().message; });
            }
            completion(articles);
        });
    });
}

}  // namespace tallowmere
