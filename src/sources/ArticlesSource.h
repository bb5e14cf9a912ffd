#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/Predicate.h"
#include "sources/ArticlesSourceFeedsInfo.h"
#include "sources/ArticlesSourceFilter.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Node.h"

namespace tallowmere {

class ArticlesSourceDelegate;

// Presents the stored articles to the article list: one fetched list on the
// main context, rebuilt when the selection, the search result or the order
// settings change, whose row changes go to the delegate. It also owns every
// write to the articles: read and starred state, the cloud's hash lists,
// storing new items and removing old ones.
//
// The list, its lookups and counts are used on the main thread.
class ArticlesSource : public graph::FetchedResultsDelegate {
public:
    using Completion = std::function<void()>;
    using RemovalCompletion = std::function<void(std::vector<Article>)>;
    // The node source's feed list (objects of the background context);
    // nothing while it has not been loaded.
    using AllFeeds = std::function<std::optional<std::vector<Feed>>()>;

    static constexpr const char* articlesUpdateQueueLabel = "articles_source_articles_update_queue";
    static constexpr const char* countQueueLabel = "articles_source_count_queue";
    static constexpr std::size_t fetchBatchSize = 100;
    static constexpr std::size_t descriptionLength = 200;
    static constexpr int oldArticleDays = 30;
    static constexpr std::size_t keptArticlesPerFeed = 50;

    // The program's source over the shared store and the node source's feeds.
    static ArticlesSource& shared();

    ArticlesSource(std::shared_ptr<DataController> dataController, AllFeeds allFeeds);
    ~ArticlesSource() override;
    ArticlesSource(const ArticlesSource&) = delete;
    ArticlesSource& operator=(const ArticlesSource&) = delete;

    // --- The list (main thread) ---

    std::shared_ptr<ArticlesSourceDelegate> delegate() const;
    void setDelegate(std::weak_ptr<ArticlesSourceDelegate> delegate);

    const std::optional<ArticlesSourceFeedsInfo>& feedsInfo() const { return feedsInfo_; }
    // A different value rebuilds the list and tells the delegate; an equal one changes nothing.
    void setFeedsInfo(std::optional<ArticlesSourceFeedsInfo> feedsInfo);
    bool sortUnreadAscending() const { return sortUnreadAscending_; }
    // A change rebuilds the list; the delegate is not told.
    void setSortUnreadAscending(bool ascending);
    bool groupByFeed() const { return groupByFeed_; }
    void setGroupByFeed(bool group);

    // The search result: when present only these articles are shown (none
    // for an empty list). Assigning does not rebuild; the writer then sets
    // the update flag and calls updateResultsController().
    const std::optional<std::vector<graph::ObjectID>>& articleIDs() const { return articleIDs_; }
    void setArticleIDs(std::optional<std::vector<graph::ObjectID>> ids) { articleIDs_ = std::move(ids); }
    bool resultsControllerNeedsUpdate() const { return resultsControllerNeedsUpdate_; }
    void setResultsControllerNeedsUpdate(bool needsUpdate) { resultsControllerNeedsUpdate_ = needsUpdate; }
    // Rebuilds the list when a rebuild is pending.
    void updateResultsController();
    const std::optional<graph::Predicate>& predicate() const { return predicate_; }

    std::size_t numberOfArticles() const;
    // With force the list is rebuilt; otherwise only when a rebuild is pending.
    void reload(bool force);
    std::optional<Article> article(const graph::ObjectID& objectID) const;
    std::optional<Article> article(std::size_t row) const;
    // The IDs of the listed articles in list order, and one row's ID: the
    // article list keeps its own copy to follow the row changes.
    std::vector<graph::ObjectID> listedArticleIDs() const;
    std::optional<graph::ObjectID> listedArticleID(std::size_t row) const;
    // Counts the rebuilds of the list: row changes refer to the list of the
    // generation current when they were reported.
    std::uint64_t listGeneration() const { return listGeneration_; }
    // (none, 0) for the first row or an article not in the list.
    std::pair<std::optional<Article>, std::size_t> previousArticle(const Article& article) const;
    // (none, 0) for the last row or an article not in the list.
    std::pair<std::optional<Article>, std::size_t> nextArticle(const Article& article) const;
    std::optional<std::size_t> row(const Article& article) const;
    // The first article whose link and feed address begin with the prefixes
    // (ignoring case and diacritics); an object of the background context.
    // Any thread.
    std::optional<Article> article(const std::string& linkPrefix, const std::string& feedURLPrefix) const;
    // The first article whose link equals the link and whose feed address
    // equals the feed URL with or without one "/" at its end (ignoring case
    // and diacritics); an object of the background context. Any thread.
    std::optional<Article> articleMatching(const std::string& link, const std::string& feedURL) const;
    // The number of stored articles the filter lets through (all without one).
    std::size_t articlesCount(std::optional<ArticlesSourceFilter> filter) const;
    using CountsCompletion = std::function<void(std::vector<std::size_t>)>;
    // The same counts for several filters, read from the saved store on a
    // queue of their own so that the caller's queue never waits for the
    // store; the completion runs there, once, with one count per filter.
    void countArticles(std::vector<std::optional<ArticlesSourceFilter>> filters, CountsCompletion completion) const;

    // --- Read and starred state ---

    // Synchronous: saves the articles' context, calls the completion on the
    // caller's thread and then tells the delegate.
    void setStarred(const Article& article, bool starred, Completion completion);
    void setStarred(const std::vector<Article>& articles, bool starred, Completion completion);
    // Asynchronous on the (first) article's context; the completion runs there
    // after the save. Marking read keeps an earlier read date.
    void setRead(const Article& article, bool read, Completion completion);
    void setRead(const std::vector<Article>& articles, bool read, Completion completion);
    // Marks the unread articles of the current list read.
    void markAllAsRead(Completion completion);
    // A folder's feeds or the single feed; any other node marks nothing.
    void markAllAsRead(const Node& node, Completion completion);
    void markAllFeedsAsRead(Completion completion);
    // The URL identity hashes of the unread and of the starred articles
    // (0 never appears), in no particular order.
    std::vector<std::int64_t> unreadArticleHashes() const;
    std::vector<std::int64_t> starredArticleHashes() const;
    // Brings the local state to the cloud record's lists, where `date` is
    // the record's modification date; an absent list leaves its state as it
    // is. The completion runs on the articles update queue when the passes
    // are done.
    void applySyncInfo(std::optional<std::vector<std::int64_t>> unreadHashes,
                       std::optional<std::vector<std::int64_t>> starredHashes, graph::Date date,
                       Completion completion);

    // --- Storing new articles and removing old ones ---

    // Stores one item of the feed unless it is not new (dated at or before
    // the feed's last update, unless ignored, or its link already stored for
    // the feed) or the feed is gone. Blocks; returns an object of the
    // background context, unsaved. Without `permanentID` the article keeps
    // its temporary ID: a caller storing many gets their permanent IDs in
    // one go (each costs the store a write).
    std::optional<Article> addArticle(const std::string& title, graph::Date date, const std::string& content,
                                      const std::optional<std::string>& creator, const std::string& link,
                                      const std::optional<std::string>& topImageURL, const graph::ObjectID& feedID,
                                      bool ignoringLastUpdate, bool permanentID = true);
    // An item with the values a stored article takes from it. Worked out
    // beforehand (on any thread, see makeReady), they keep that work out of
    // the background context, which every store visit waits for; an item not
    // made ready is made ready there when it is stored.
    struct NewArticle {
        std::string title;
        graph::Date date;
        std::string content;
        std::optional<std::string> creator;
        std::string link;
        std::optional<std::string> topImageURL;
        bool ready = false;
        std::string strippedTitle{};
        std::string textContent{};
        std::string descriptionContent{};
        std::int64_t linkHash = 0;
    };
    static void makeReady(NewArticle& item);
    // The date half of an item's newness: dated after the feed's last
    // update, or the feed has none (the other half: no article has its link).
    static bool isDatedAfter(const std::optional<graph::Date>& lastUpdate, graph::Date date) {
        return !lastUpdate || *lastUpdate < date;
    }
    // addArticle for an item, made ready beforehand or not.
    std::optional<Article> addArticle(const NewArticle& item, const graph::ObjectID& feedID, bool ignoringLastUpdate,
                                      bool permanentID = true);
    // addArticle (not ignoring the last update, temporary IDs) for each item
    // of one feed, in order, inside one visit of the background context; the
    // store is asked once for the feed's stored links, not once per item.
    // The new articles with the positions of their items.
    std::vector<std::pair<std::size_t, Article>> addArticles(const std::vector<NewArticle>& items,
                                                             const graph::ObjectID& feedID);
    // Deletes, per feed, the oldest unstarred articles stored more than 30
    // calendar days ago while the feed keeps at least 50 articles; the
    // completion receives the deleted articles.
    void removeOldArticles(RemovalCompletion completion);

    dispatch::SerialQueue& articlesUpdateQueue() const { return *articlesUpdateQueue_; }
    // The predicate of a smart-group filter, built now (the constant-true
    // predicate without one).
    static graph::Predicate filterPredicate(std::optional<ArticlesSourceFilter> filter);

    // The fetched list's change reports, forwarded as rows.
    void controllerWillChangeContent(graph::FetchedResultsController& controller) override;
    void controllerDidChangeObject(graph::FetchedResultsController& controller, const graph::ObjectID& id,
                                   std::optional<graph::IndexPath> oldPath, graph::ResultsChange type,
                                   std::optional<graph::IndexPath> newPath) override;
    void controllerDidChangeContent(graph::FetchedResultsController& controller) override;

private:
    std::optional<Article> firstArticle(graph::Predicate predicate) const;
    graph::Predicate makePredicate() const;
    // Whether the selection shows every article, unfiltered.
    static bool listsEveryArticle(const std::optional<ArticlesSourceFeedsInfo>& feedsInfo);
    bool sortsAscending() const;
    std::optional<Article> articleAt(std::size_t row) const;

    void setArticlesStarred(const std::vector<Article>& articles, bool starred, graph::Context& context);
    void setArticlesRead(const std::vector<Article>& articles, bool read, graph::Date date, graph::Context& context,
                         Completion completion);
    void markAllAsRead(const std::vector<Feed>& feeds, Completion completion);
    void markAllAsRead(const graph::Predicate& predicate, Completion completion);
    // Marks read, in the store at once, the unread articles the predicate
    // matches, inside a block of the context; false when the context must
    // mark object by object instead (it has pending changes), nothing done.
    // The articles the removal takes, found in the store in two queries
    // (counts per feed, then the oldest removable ones of each feed up to its
    // excess over the kept number); nothing when the background context has
    // pending changes and the feeds must be asked one by one. Inside a block
    // of the background context.
    std::optional<std::vector<Article>> oldArticlesInStore(const std::vector<Feed>& feeds, graph::Date cutoff);
    static graph::Predicate removablePredicate(graph::Date cutoff);
    bool markReadInStore(graph::Context& context, const graph::Predicate& unread, Completion& completion);
    std::vector<std::int64_t> articleHashes(const graph::Predicate& predicate) const;
    using ArticlesHandler = std::function<void(std::optional<std::vector<Article>>)>;
    void fetchArticles(const std::vector<std::int64_t>& hashes, bool excluding, const graph::Predicate& predicate,
                       std::optional<graph::Date> before, ArticlesHandler handler);
    void syncRead(std::optional<std::vector<Article>> articles, bool read);
    void syncStarred(std::optional<std::vector<Article>> articles, bool starred);

    // The feed of the background context with this ID, unless deleted.
    std::optional<Feed> liveFeed(const graph::ObjectID& feedID) const;
    // A new article for the item; inside the background context.
    Article insertArticle(NewArticle item, const Feed& feed);
    // The links of the feed's articles, stored or pending; nothing on failure.
    std::optional<std::unordered_set<std::string>> storedLinks(const Feed& feed) const;
    bool isNewArticle(std::optional<graph::Date> date, const std::string& link, const Feed& feed) const;
    void deleteArticles(std::shared_ptr<std::vector<Article>> articles, RemovalCompletion completion);

    std::shared_ptr<DataController> dataController_;
    AllFeeds allFeeds_;
    // Reads counts only; it never changes anything nor takes others' saves.
    mutable std::once_flag countContextMade_;
    mutable std::shared_ptr<graph::Context> countContext_;

    std::weak_ptr<ArticlesSourceDelegate> delegate_;
    std::optional<ArticlesSourceFeedsInfo> feedsInfo_;
    bool sortUnreadAscending_ = false;
    bool groupByFeed_ = false;
    std::optional<std::vector<graph::ObjectID>> articleIDs_;
    std::optional<graph::Predicate> predicate_;
    std::unique_ptr<graph::FetchedResultsController> resultsController_;
    bool resultsControllerNeedsUpdate_ = true;
    std::uint64_t listGeneration_ = 0;
    std::unique_ptr<dispatch::SerialQueue> articlesUpdateQueue_;
    dispatch::DispatchGroup articlesUpdateGroup_;
    dispatch::DispatchGroup articlesRemovalGroup_;
};

}  // namespace tallowmere
