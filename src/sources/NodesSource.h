#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cloud/CloudFeedsType.h"
#include "feeds/WebServiceHTTPInfo.h"
#include "foundation/URL.h"
#include "platform/defaults/ObserverToken.h"
#include "platform/graph/FetchedResultsController.h"
#include "platform/graph/ObjectID.h"
#include "platform/graph/SortDescriptor.h"
#include "platform/graph/Value.h"
#include "sources/NodesSourceDelegate.h"
#include "sources/SearchIndexing.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/NewsletterType.h"
#include "store/Node.h"

namespace tallowmere {

namespace defaults {
template <typename... Args>
class ObserverList;
}

// The tree of folders and feeds of the sidebar, and every lookup, change and
// reordering of its nodes.
//
// The tree is one fetched-results controller over every node of the main
// context, in sections by group name: each top-level node (folder or feed
// without folder) opens a section, and a folder's feeds follow it in its
// section. The outline answers and the change forwarding translate between
// those index paths and the outline's (index, parent folder) coordinates.
//
// Contexts: the outline, the ordering and the change forwarding run on the
// main thread against the main context; the lookups run synchronously in the
// background context and return its objects; a change of one object runs in
// that object's own context.
class NodesSource : public std::enable_shared_from_this<NodesSource>, private graph::FetchedResultsDelegate {
public:
    using Completion = std::function<void()>;
    static constexpr const char* allFeedsKey = "allFeeds";

    // Made on first use over DataController::shared(), on the main thread.
    static std::shared_ptr<NodesSource> shared();
    // Puts another source in place of the shared one (tests).
    static void replaceShared(std::shared_ptr<NodesSource> source);
    // Orders the nodes, fetches the tree and both lists. On the main thread.
    // Deleting nodes takes their articles' documents out of `searchIndex`
    // (none: the articles are not indexed).
    static std::shared_ptr<NodesSource> make(std::shared_ptr<DataController> dataController,
                                             std::shared_ptr<SearchIndexing> searchIndex = nullptr);
    ~NodesSource() override;
    NodesSource(const NodesSource&) = delete;
    NodesSource& operator=(const NodesSource&) = delete;

    // Sort-name order with the comparison used for names shown to users.
    static const std::vector<graph::SortDescriptor>& sortDescriptors();

    // The sidebar; held weakly. It is told of item changes when it also
    // adopts NodesSourceOutlineDelegate (or of raw row changes when it
    // adopts NodesSourceTableDelegate).
    std::shared_ptr<NodesSourceDelegate> delegate() const;
    void setDelegate(std::weak_ptr<NodesSourceDelegate> delegate);

    // Snapshots refreshed at construction and after every creation or
    // deletion of nodes. The feeds are objects of the background context.
    std::vector<Feed> allFeeds() const;
    std::vector<std::string> allFolderNames() const;
    // Called after every refresh of allFeeds, changed or not, on the
    // refreshing thread.
    defaults::ObserverToken observeAllFeeds(std::function<void()> observer);

    // Outline answers (main thread). No parent: the top level.
    std::size_t numberOfChildren(const std::optional<graph::ObjectID>& parent);
    // The caller asks only below numberOfChildren of the same parent; out of
    // range the answer is an invalid ID.
    graph::ObjectID child(std::size_t index, const std::optional<graph::ObjectID>& parent);
    std::optional<Node> node(const graph::IndexPath& path);
    std::optional<graph::IndexPath> indexPath(const Node& node) const;
    std::size_t numberOfSections() const;
    // 0 for a section the controller does not have.
    std::size_t numberOfNodes(std::size_t section) const;
    void reload();
    graph::FetchedResultsController& resultsController() { return *resultsController_; }

    // Ordering (main thread, main context).
    // Renumbers the positions densely per group (top level; feeds in
    // folders) and rebuilds the sort names; does not save.
    void normalizeSortValues();
    // Moves the node to `index` among the children of the folder (nothing:
    // the top level) and saves. False, with nothing changed, when a node or
    // the folder is missing, the controller does not show the folder, the
    // drop position has no node before it, or a folder is dropped into a folder.
    bool moveNode(const graph::ObjectID& nodeID, std::int64_t index, const std::optional<graph::ObjectID>& folderID);
    // Gives every node the same position, so the sidebar falls back to name
    // order, and saves without telling the sidebar item by item.
    void resetSorting();

    // Lookups (background context). URLs compare ignoring case and
    // diacritics; feeds also match by URL identity hash.
    bool containsFeed(const URL& url);
    // containsFeed of each URL, in one block of the background context.
    std::vector<bool> containsFeeds(const std::vector<URL>& urls);
    std::optional<Feed> feed(const URL& url);
    std::optional<Feed> feed(std::string_view urlPrefix);
    std::optional<Folder> folder(std::string_view name);
    std::optional<std::vector<Feed>> notifyingFeeds();
    std::optional<std::vector<Feed>> feeds(NewsletterType newsletterType);
    // Main context, main thread; 0 when the count fails.
    std::size_t newsletterFeedsCount();
    // Main context: a feed gives itself, a folder its feeds, anything else nothing.
    std::optional<std::vector<Feed>> feeds(const Node& node);
    std::optional<std::vector<Feed>> feeds(const graph::ObjectID& nodeID);
    // A feed's or a folder's unread articles; without a node, those of every
    // feed (main context, main thread).
    std::optional<std::int64_t> unreadArticlesCount(const std::optional<Node>& node);
    // The nodes of the IDs in the main context, loaded, with their unread
    // counts as unreadArticlesCount gives them (nothing for a node that is
    // gone), in few reads rather than a few per node (main thread).
    struct NodeReading {
        std::optional<Node> node;
        std::optional<std::int64_t> unreadCount;
    };
    std::vector<NodeReading> readNodes(const std::vector<graph::ObjectID>& ids);
    // The stored icon of a feed, read in its context; nothing for a folder,
    // a feed without context or one without icon data. The images layer
    // turns it into the sidebar's image.
    std::optional<graph::Bytes> iconData(const Node& node);

    // Changes of one object, each in the object's own context and saved
    // there (a save error is dropped). An object without context is left
    // alone. Safe to call from inside that context too.
    void setNotifyUpdates(const Feed& feed, bool notify);
    void setNewsletterType(const Feed& feed, NewsletterType newsletterType);
    void setName(const Node& node, const std::string& name);
    void setClosed(const Folder& folder, bool closed);
    bool isClosed(const Folder& folder);
    // Position 0, 1 or 2 for low, medium or high priority.
    void setPriority(const Node& node, int position);
    // Run by callers already inside `context` (the feed's).
    void setIcon(const Feed& feed, std::optional<graph::Bytes> icon, graph::Context& context);
    void setHTTPInfo(const Feed& feed, const WebServiceHTTPInfo& info, graph::Context& context);

    // What a new feed is made of.
    struct NewFeed {
        std::string name;
        std::string urlString;
        std::optional<graph::Bytes> icon;
        std::optional<graph::ObjectID> folderID;
        bool notify = false;
        NewsletterType newsletterType = NewsletterType::none;
    };

    // Creation (background context) and deletion.
    // The name is stored as plain text (markup stripped, entities decoded).
    Feed addFeed(const std::string& name, const std::string& urlString, std::optional<graph::Bytes> icon,
                 const std::optional<graph::ObjectID>& folderID, bool notify, NewsletterType newsletterType);
    // The same, unless a feed of that URL is stored (then nothing): the check
    // and the insert run in one block of the background context.
    std::optional<Feed> addFeedUnlessStored(const std::string& name, const std::string& urlString,
                                            std::optional<graph::Bytes> icon,
                                            const std::optional<graph::ObjectID>& folderID, bool notify,
                                            NewsletterType newsletterType);
    // Each feed as addFeedUnlessStored makes it (nothing where a feed of its
    // URL is stored, also one earlier in the list), in one block of the
    // background context and with one save: views of the tree take in the
    // whole list at once.
    std::vector<std::optional<Feed>> addFeedsUnlessStored(std::vector<NewFeed> feeds);
    Folder addFolder(const std::string& name);
    // Between these two calls (which nest), additions leave the refresh of
    // allFeeds and the renumbering of positions to the end of the outermost
    // batch, which does both once: a batch of n feeds costs one pass over
    // the nodes, not n.
    void beginAddingFeeds();
    void endAddingFeeds();
    // The completion runs once the deletion is saved and the lists are
    // refreshed (at once for a node without context).
    void deleteNodes(const Node& node, Completion completion);
    // Deletes every folder and feed, with the search documents of their articles.
    void removeAllNodes(Completion completion = {});
    // Deletes every feed whose URL or identity hash is not among the URLs,
    // with its articles' search documents, then the folders left empty. An
    // empty list deletes every feed: never pass a list that failed to load.
    void deleteFeeds(const std::vector<URL>& notIn, Completion completion = {});
    // The completion runs when the deletion is made, before it is saved.
    void deleteEmptyFolders(Completion completion = {});
    // Applies the downloaded push and newsletter lists to the local feeds.
    void applyCloudFeedSettings(const std::vector<CloudFeedList>& lists, Completion completion = {});

private:
    std::vector<std::optional<Feed>> insertFeeds(std::vector<NewFeed> feeds, bool unlessStored);
    // Inside the background context.
    Feed makeFeed(NewFeed feed);
    NodesSource(std::shared_ptr<DataController> dataController, std::shared_ptr<SearchIndexing> searchIndex);

    // Construction and refreshes.
    void performFetch();
    void reloadAllFeeds();
    void reloadFolderNames();

    // Change forwarding.
    struct ObjectChange {
        graph::ObjectID id;
        std::optional<graph::IndexPath> indexPath;
        graph::ResultsChange type;
        std::optional<graph::IndexPath> newIndexPath;
    };
    struct OutlinePlace {
        std::optional<std::size_t> index;
        std::optional<graph::ObjectID> parent;
    };
    void controllerWillChangeContent(graph::FetchedResultsController& controller) override;
    void controllerDidChangeSection(graph::FetchedResultsController& controller, std::size_t index,
                                    graph::ResultsChange type) override;
    void controllerDidChangeObject(graph::FetchedResultsController& controller, const graph::ObjectID& id,
                                   std::optional<graph::IndexPath> indexPath, graph::ResultsChange type,
                                   std::optional<graph::IndexPath> newIndexPath) override;
    void controllerDidChangeContent(graph::FetchedResultsController& controller) override;
    void processObjectChange(const ObjectChange& change, bool folderBeingDeleted);
    // Nothing when the path names a section the controller no longer has.
    std::optional<OutlinePlace> outlinePlace(const std::optional<graph::IndexPath>& path) const;
    bool mainContextDeletesFolder() const;

    // Deletion helpers (inside the context that holds the feeds). Queues the
    // removal of the feeds' article documents, then one compaction.
    void removeSearchDocuments(const std::vector<Feed>& feeds) const;

    // Inside the background context: every feed in sort order.
    std::vector<Feed> fetchAllFeeds();
    void publishAllFeeds(std::vector<Feed> feeds);
    // Whether the ordering pass rebuilds the sort names when no node's
    // position, priority, name or folder differs from what its sort name
    // was built from. New time stamps then cannot reorder anything (they
    // follow the present order), but they would make every row unsaved.
    enum class SortNames { rebuilt, keptWhenInPlace };
    // The ordering pass in the context; saves nothing.
    void renumber(graph::Context& context, SortNames sortNames);
    // The ordering pass after feeds were made, in the background context, saved there.
    void normalizeSavedSortValues();
    void awaitMainContextMerge();

    graph::Context& mainContext() const { return *dataController_->mainContext(); }
    graph::Context& backgroundContext() const { return *dataController_->backgroundContext(); }
    std::optional<Feed> firstFeed(const graph::FetchRequest& request);
    std::optional<std::vector<Feed>> backgroundFeeds(const graph::FetchRequest& request);

    const std::shared_ptr<DataController> dataController_;
    const std::shared_ptr<SearchIndexing> searchIndex_;
    std::unique_ptr<graph::FetchedResultsController> resultsController_;

    mutable std::mutex mutex_;  // the delegate, the two lists and the batch state
    std::weak_ptr<NodesSourceDelegate> delegate_;
    std::vector<Feed> allFeeds_;
    std::vector<std::string> allFolderNames_;
    // Kept out of this header: its members clash with a keyword macro of the UI toolkit.
    std::unique_ptr<defaults::ObserverList<>> allFeedsObservers_;

    // Open batches of additions, and whether one of them added a feed.
    int addingFeeds_ = 0;
    bool addedInBatch_ = false;

    // The item changes of the batch being reported, forwarded when it ends.
    std::vector<ObjectChange> batch_;
    bool inBatch_ = false;
};

}  // namespace tallowmere
