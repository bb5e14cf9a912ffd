#include "sources/NodesSource.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "foundation/HTMLText.h"
#include "foundation/URLIdentityHash.h"
#include "platform/defaults/ObserverList.h"
#include "sources/NodesSourceOutlineDelegate.h"
#include "sources/NodesSourceTableDelegate.h"
#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"
#include "store/Article.h"

namespace tallowmere {

using graph::FetchRequest;
using graph::IndexPath;
using graph::ObjectID;
using graph::ObjectPtr;
using graph::Predicate;

namespace {

std::mutex sharedMutex;
std::shared_ptr<NodesSource> sharedSource;

bool isEntityKindOf(const graph::EntityDescription* entity, std::string_view name) {
    for (; entity; entity = entity->parent())
        if (entity->name() == name) return true;
    return false;
}

// The object for the ID when the store (or the context) has it.
ObjectPtr existing(graph::Context& context, const ObjectID& id) {
    if (!id.isValid()) return nullptr;
    auto found = context.existingObject(id);
    return found.ok() ? found.value() : nullptr;
}

void call(const NodesSource::Completion& completion) {
    if (completion) completion();
}

// The feeds the URL names: its identity hash, or its text ignoring case and diacritics.
Predicate matchingURL(const URL& url) {
    return Predicate::equal(Feed::Key::tallowmereHash, URLIdentityHash::hash(url)) ||
           Predicate::equal(Feed::Key::foldedURL, Feed::foldedURL(url.absoluteString()));
}

// Whether the context holds a feed of the URL, its unsaved inserts included;
// inside the context. A failed count counts as none.
bool holdsFeed(graph::Context& context, const URL& url) {
    FetchRequest request(Feed::entityName);
    request.predicate = matchingURL(url);
    request.fetchLimit = 1;
    auto counted = context.count(request);
    return counted.ok() && counted.value() != 0;
}

}  // namespace

// MARK: Construction

std::shared_ptr<NodesSource> NodesSource::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedSource)
        sharedSource =
            make(DataController::shared(), std::make_shared<SearchManagerIndexing>(SearchManager::shared()));
    return sharedSource;
}

void NodesSource::replaceShared(std::shared_ptr<NodesSource> source) {
    std::lock_guard lock(sharedMutex);
    sharedSource = std::move(source);
}

std::shared_ptr<NodesSource> NodesSource::make(std::shared_ptr<DataController> dataController,
                                               std::shared_ptr<SearchIndexing> searchIndex) {
    std::shared_ptr<NodesSource> source(new NodesSource(std::move(dataController), std::move(searchIndex)));
    source->renumber(source->mainContext(), SortNames::keptWhenInPlace);
    source->performFetch();
    source->reloadAllFeeds();
    source->reloadFolderNames();
    return source;
}

NodesSource::NodesSource(std::shared_ptr<DataController> dataController,
                         std::shared_ptr<SearchIndexing> searchIndex)
    : dataController_(std::move(dataController)),
      searchIndex_(std::move(searchIndex)),
      allFeedsObservers_(std::make_unique<defaults::ObserverList<>>()) {
    FetchRequest request(Node::entityName);
    request.sortDescriptors = sortDescriptors();
    // The group name reads the node's sort name and its folder's: a refresh,
    // which writes neither, then costs no re-read of the whole list.
    resultsController_ = std::make_unique<graph::FetchedResultsController>(
        dataController_->mainContext(), std::move(request), &Node::groupNameOf,
        std::vector<std::string>{Node::Key::sortName, Feed::Key::folder},
        graph::FetchedResultsController::StoredSectionNamer{Node::groupNameKeyPaths(), &Node::groupNameOfStored});
}

NodesSource::~NodesSource() {
    if (resultsController_) resultsController_->setDelegate(nullptr);
}

const std::vector<graph::SortDescriptor>& NodesSource::sortDescriptors() {
    static const std::vector<graph::SortDescriptor> descriptors{{Node::Key::sortName, true, true}};
    return descriptors;
}

void NodesSource::performFetch() {
    resultsController_->setDelegate(this);
    resultsController_->context().performAndWait([&] { (void)resultsController_->performFetch(); });
}

void NodesSource::reloadAllFeeds() {
    std::vector<Feed> feeds;
    backgroundContext().performAndWait([&] { feeds = fetchAllFeeds(); });
    publishAllFeeds(std::move(feeds));
}

std::vector<Feed> NodesSource::fetchAllFeeds() {
    FetchRequest request(Feed::entityName);
    request.sortDescriptors = sortDescriptors();
    auto fetched = backgroundContext().fetch(request);
    return fetched.ok() ? makeHandles<Feed>(fetched.value().all()) : std::vector<Feed>{};
}

void NodesSource::publishAllFeeds(std::vector<Feed> feeds) {
    {
        std::lock_guard lock(mutex_);
        allFeeds_ = std::move(feeds);
    }
    allFeedsObservers_->notify(allFeedsKey);
}

void NodesSource::reloadFolderNames() {
    {
        std::lock_guard lock(mutex_);
        allFolderNames_.clear();
    }
    FetchRequest request(Folder::entityName);
    request.sortDescriptors = sortDescriptors();
    std::vector<std::string> names;
    backgroundContext().performAndWait([&] {
        auto fetched = backgroundContext().fetch(request);
        if (!fetched.ok()) return;
        for (const ObjectPtr& object : fetched.value())
            if (auto name = Folder(object).name()) names.push_back(*name);
    });
    std::lock_guard lock(mutex_);
    allFolderNames_ = std::move(names);
}

void NodesSource::reload() {
    performFetch();
    reloadAllFeeds();
    reloadFolderNames();
}

// MARK: Delegate and lists

std::shared_ptr<NodesSourceDelegate> NodesSource::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void NodesSource::setDelegate(std::weak_ptr<NodesSourceDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::vector<Feed> NodesSource::allFeeds() const {
    std::lock_guard lock(mutex_);
    return allFeeds_;
}

std::vector<std::string> NodesSource::allFolderNames() const {
    std::lock_guard lock(mutex_);
    return allFolderNames_;
}

defaults::ObserverToken NodesSource::observeAllFeeds(std::function<void()> observer) {
    return allFeedsObservers_->add(std::string(allFeedsKey), std::move(observer));
}

// MARK: Outline

std::size_t NodesSource::numberOfSections() const { return resultsController_->numberOfSections(); }

std::size_t NodesSource::numberOfNodes(std::size_t section) const {
    if (section >= resultsController_->numberOfSections()) return 0;
    return resultsController_->numberOfObjects(section);
}

std::size_t NodesSource::numberOfChildren(const std::optional<ObjectID>& parent) {
    if (!parent) return numberOfSections();
    auto folder = Folder::from(existing(mainContext(), *parent));
    return folder ? folder->feedCount() : 0;
}

ObjectID NodesSource::child(std::size_t index, const std::optional<ObjectID>& parent) {
    const auto& controller = *resultsController_;
    if (!parent) {
        if (index >= controller.numberOfSections()) return {};
        return controller.objectID(IndexPath{index, 0});
    }
    for (std::size_t section = 0; section < controller.numberOfSections(); ++section) {
        if (controller.numberOfObjects(section) == 0) continue;
        if (controller.objectID(IndexPath{section, 0}) != *parent) continue;
        if (index + 1 >= controller.numberOfObjects(section)) return {};
        return controller.objectID(IndexPath{section, index + 1});
    }
    return {};
}

std::optional<Node> NodesSource::node(const IndexPath& path) {
    if (path.section >= numberOfSections() || path.item >= numberOfNodes(path.section)) return std::nullopt;
    return Node::from(resultsController_->object(path));
}

std::optional<IndexPath> NodesSource::indexPath(const Node& node) const {
    return resultsController_->indexPath(node.objectID());
}

// MARK: Change forwarding

void NodesSource::controllerWillChangeContent(graph::FetchedResultsController&) {
    batch_.clear();
    inBatch_ = true;
    if (auto delegate = this->delegate()) delegate->nodesSourceWillChangeContent();
}

void NodesSource::controllerDidChangeSection(graph::FetchedResultsController&, std::size_t index,
                                             graph::ResultsChange type) {
    auto delegate = this->delegate();
    if (auto* table = dynamic_cast<NodesSourceTableDelegate*>(delegate.get()))
        table->nodesSourceDidChangeSection(index, type);
}

void NodesSource::controllerDidChangeObject(graph::FetchedResultsController&, const ObjectID& id,
                                            std::optional<IndexPath> indexPath, graph::ResultsChange type,
                                            std::optional<IndexPath> newIndexPath) {
    ObjectChange change{id, indexPath, type, newIndexPath};
    if (inBatch_) batch_.push_back(std::move(change));
    else processObjectChange(change, mainContextDeletesFolder());
}

void NodesSource::controllerDidChangeContent(graph::FetchedResultsController&) {
    // The controller reports after the save, when the context no longer
    // lists what it deleted; a folder removed in this batch tells the same.
    // Its feeds go with it, and the outline drops them with the folder's row.
    bool folderBeingDeleted = mainContextDeletesFolder();
    for (const auto& change : batch_)
        if (change.type == graph::ResultsChange::remove && isEntityKindOf(change.id.entity(), Folder::entityName))
            folderBeingDeleted = true;
    std::vector<ObjectChange> changes = std::exchange(batch_, {});
    inBatch_ = false;
    for (const auto& change : changes) processObjectChange(change, folderBeingDeleted);
    if (auto delegate = this->delegate()) delegate->nodesSourceDidChangeContent();
}

bool NodesSource::mainContextDeletesFolder() const {
    const auto deleted = mainContext().deletedObjects();
    return std::any_of(deleted.begin(), deleted.end(),
                       [](const ObjectPtr& object) { return StoredObject::isKindOf(*object, Folder::entityName); });
}

void NodesSource::processObjectChange(const ObjectChange& change, bool folderBeingDeleted) {
    auto delegate = this->delegate();
    if (!delegate) return;
    if (auto* table = dynamic_cast<NodesSourceTableDelegate*>(delegate.get())) {
        table->nodesSourceDidChangeRow(change.indexPath, change.type, change.newIndexPath);
        return;
    }
    auto* outline = dynamic_cast<NodesSourceOutlineDelegate*>(delegate.get());
    if (!outline) return;
    if (folderBeingDeleted && !isEntityKindOf(change.id.entity(), Folder::entityName)) return;
    auto from = outlinePlace(change.indexPath);
    auto to = outlinePlace(change.newIndexPath);
    if (!from || !to) return;
    outline->nodesSourceDidChangeItem(from->index, from->parent, change.type, to->index, to->parent);
}

std::optional<NodesSource::OutlinePlace> NodesSource::outlinePlace(const std::optional<IndexPath>& path) const {
    if (!path) return OutlinePlace{};
    if (path->item == 0) return OutlinePlace{path->section, std::nullopt};
    const auto& controller = *resultsController_;
    if (path->section >= controller.numberOfSections()) return std::nullopt;
    OutlinePlace place{path->item - 1, std::nullopt};
    if (controller.numberOfObjects(path->section) > 0) {
        ObjectID first = controller.objectID(IndexPath{path->section, 0});
        if (isEntityKindOf(first.entity(), Folder::entityName)) place.parent = first;
    }
    return place;
}

// MARK: Ordering

void NodesSource::normalizeSortValues() { renumber(mainContext(), SortNames::rebuilt); }

// The positions of new feeds are written where the feeds were made: in the
// main context, the next save of it would write every node's row at once
// (every sort name changes), a long stall of the main thread. The main
// context takes the saved rows through its merge.
void NodesSource::normalizeSavedSortValues() {
    graph::Context& background = backgroundContext();
    background.performAndWait([&] {
        renumber(background, SortNames::rebuilt);
        if (background.hasChanges()) (void)background.save();
    });
    awaitMainContextMerge();
}

// The main context takes a save of the background context in a block of its
// queue. One turn of that queue after the save lets the views show the new
// rows before the caller goes on: a window that then selects an added feed
// finds its row.
void NodesSource::awaitMainContextMerge() {
    mainContext().performAndWait([] {});
}

void NodesSource::renumber(graph::Context& context, SortNames sortNames) {
    FetchRequest request(Node::entityName);
    request.sortDescriptors = {{Node::Key::sortValue, true, false}};
    for (const auto& descriptor : sortDescriptors()) request.sortDescriptors.push_back(descriptor);

    struct Group {
        std::int64_t counter = 1;
        std::optional<std::int64_t> previous;
        std::vector<Node> nodes;
    };
    Group topLevel, inFolder;
    bool inPlace = sortNames == SortNames::keptWhenInPlace;
    context.performAndWait([&] {
        auto fetched = context.fetch(request);
        if (!fetched.ok()) return;
        for (const ObjectPtr& object : fetched.value()) {
            Node node(object);
            auto feed = node.asFeed();
            Group& group = feed && feed->folder() ? inFolder : topLevel;
            group.nodes.push_back(node);
            const std::int64_t current = node.sortValue();
            if (!group.previous) group.previous = current;
            if (*group.previous < current) ++group.counter;
            group.previous = current;
            node.setSortValue(group.counter);
            inPlace = inPlace && current == group.counter && node.sortNameFitsPosition();
        }
    });
    // New time stamps alone keep the order: the names' rows stay unwritten.
    if (inPlace) return;
    // Folders first: their feeds' sort names begin with the folder's.
    for (const auto* group : {&topLevel, &inFolder})
        for (const Node& node : group->nodes) node.updateSortName();
}

bool NodesSource::moveNode(const ObjectID& nodeID, std::int64_t index, const std::optional<ObjectID>& folderID) {
    graph::Context& main = mainContext();
    auto moved = Node::from(existing(main, nodeID));
    if (!moved) return false;

    std::optional<IndexPath> previousPath;
    std::size_t siblingCount = 0;
    std::size_t offset = 0;
    std::size_t folderSection = 0;
    std::optional<Folder> destination;
    if (!folderID) {
        if (index >= 1) previousPath = IndexPath{static_cast<std::size_t>(index - 1), 0};
        siblingCount = numberOfSections();
    } else {
        destination = Folder::from(existing(main, *folderID));
        if (!destination || moved->isFolder()) return false;
        auto path = indexPath(*destination);
        if (!path) return false;
        folderSection = path->section;
        if (index >= 1) previousPath = IndexPath{folderSection, static_cast<std::size_t>(index)};
        siblingCount = destination->feedCount();
        offset = 1;
    }

    // Everything that can refuse the move is checked before the first change,
    // so a refused move leaves nothing pending in the main context.
    std::int64_t base = 1;
    if (previousPath) {
        auto previous = node(*previousPath);
        if (!previous) return false;
        if (!previous->context()) return false;
        previous->context()->performAndWait([&] { base = previous->sortValue(); });
    }

    if (auto feed = moved->asFeed(); feed && feed->context())
        feed->context()->performAndWait([&] { feed->setFolder(destination); });
    if (auto* context = moved->context()) context->performAndWait([&] { moved->setSortValue(base + 1); });

    if (index >= 0) {
        for (std::size_t i = static_cast<std::size_t>(index) + offset; i < siblingCount + offset; ++i) {
            IndexPath path = folderID ? IndexPath{folderSection, i} : IndexPath{i, 0};
            auto sibling = node(path);
            if (!sibling || *sibling == *moved || !sibling->context()) continue;
            sibling->context()->performAndWait([&] { sibling->setSortValue(sibling->sortValue() + 2); });
        }
    }

    normalizeSortValues();
    resultsController_->context().performAndWait([&] { (void)resultsController_->context().save(); });
    return true;
}

void NodesSource::resetSorting() {
    resultsController_->setDelegate(nullptr);
    graph::Context& main = mainContext();
    main.performAndWait([&] {
        auto fetched = main.fetch(FetchRequest(Node::entityName));
        if (fetched.ok())
            for (const ObjectPtr& object : fetched.value()) Node(object).setSortValue(0);
        normalizeSortValues();
        (void)main.save();
    });
    resultsController_->setDelegate(this);
}

// MARK: Lookups

std::optional<Feed> NodesSource::firstFeed(const FetchRequest& request) {
    std::optional<Feed> found;
    backgroundContext().performAndWait([&] {
        auto fetched = backgroundContext().fetch(request);
        if (fetched.ok() && !fetched.value().empty()) found = Feed::from(fetched.value().front());
    });
    return found;
}

std::optional<std::vector<Feed>> NodesSource::backgroundFeeds(const FetchRequest& request) {
    std::optional<std::vector<Feed>> found;
    backgroundContext().performAndWait([&] {
        auto fetched = backgroundContext().fetch(request);
        if (fetched.ok()) found = makeHandles<Feed>(fetched.value().all());
    });
    return found;
}

bool NodesSource::containsFeed(const URL& url) { return containsFeeds({url}).front(); }

std::vector<bool> NodesSource::containsFeeds(const std::vector<URL>& urls) {
    std::vector<bool> contained(urls.size(), false);
    backgroundContext().performAndWait([&] {
        for (std::size_t index = 0; index < urls.size(); ++index)
            contained[index] = holdsFeed(backgroundContext(), urls[index]);
    });
    return contained;
}

std::optional<Feed> NodesSource::feed(const URL& url) {
    FetchRequest request(Feed::entityName);
    request.predicate = matchingURL(url);
    request.fetchLimit = 1;
    return firstFeed(request);
}

std::optional<Feed> NodesSource::feed(std::string_view urlPrefix) {
    FetchRequest request(Feed::entityName);
    request.predicate = Predicate::beginsWithFolded(Feed::Key::url, std::string(urlPrefix));
    request.fetchLimit = 1;
    return firstFeed(request);
}

std::optional<Folder> NodesSource::folder(std::string_view name) {
    FetchRequest request(Folder::entityName);
    request.predicate = Predicate::equalsFolded(Node::Key::name, std::string(name));
    request.fetchLimit = 1;
    std::optional<Folder> found;
    backgroundContext().performAndWait([&] {
        auto fetched = backgroundContext().fetch(request);
        if (fetched.ok() && !fetched.value().empty()) found = Folder::from(fetched.value().front());
    });
    return found;
}

std::optional<std::vector<Feed>> NodesSource::notifyingFeeds() {
    FetchRequest request(Feed::entityName);
    request.predicate = Predicate::equal(Feed::Key::notifyUpdates, true);
    return backgroundFeeds(request);
}

std::optional<std::vector<Feed>> NodesSource::feeds(NewsletterType newsletterType) {
    FetchRequest request(Feed::entityName);
    request.predicate = Predicate::equal(Feed::Key::newsletterType, std::int64_t{rawValue(newsletterType)});
    return backgroundFeeds(request);
}

std::size_t NodesSource::newsletterFeedsCount() {
    FetchRequest request(Feed::entityName);
    request.predicate = Predicate::notEqual(Feed::Key::newsletterType, std::int64_t{0});
    auto counted = mainContext().count(request);
    return counted.ok() ? counted.value() : 0;
}

std::optional<std::vector<Feed>> NodesSource::feeds(const Node& node) { return feeds(node.objectID()); }

std::optional<std::vector<Feed>> NodesSource::feeds(const ObjectID& nodeID) {
    ObjectPtr object = existing(mainContext(), nodeID);
    if (auto feed = Feed::from(object)) return std::vector<Feed>{*feed};
    if (auto folder = Folder::from(object)) return folder->feeds();
    return std::nullopt;
}

std::vector<NodesSource::NodeReading> NodesSource::readNodes(const std::vector<graph::ObjectID>& ids) {
    graph::Context& main = mainContext();
    std::vector<NodeReading> readings(ids.size());
    main.performAndWait([&] {
        // Faults filled by one fetch instead of one read each; the result
        // holds the loaded objects while they are read (a failed fetch
        // leaves them to load one by one).
        FetchRequest request(Node::entityName);
        request.predicate = Predicate::in("self", std::vector<graph::Value>(ids.begin(), ids.end()));
        const auto loaded = main.fetch(request);
        std::vector<graph::Value> feedIDs;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            readings[i].node = Node::from(main.object(ids[i]));
            if (readings[i].node && !readings[i].node->isDeleted() && readings[i].node->isFeed()) feedIDs.emplace_back(ids[i]);
        }
        // The feeds' counts in one grouped count; it refuses while articles
        // have unsaved changes here, and then each node counts its own.
        std::optional<std::unordered_map<graph::ObjectID, std::int64_t, graph::ObjectIDHash>> feedCounts;
        if (!feedIDs.empty()) {
            FetchRequest unread(Article::entityName);
            unread.predicate = Predicate::in(Article::Key::unreadInFeed, std::move(feedIDs));
            if (auto counts = main.countsByKey(unread, Article::Key::unreadInFeed); counts.ok()) {
                feedCounts.emplace();
                for (const auto& [feed, count] : counts.value()) feedCounts->emplace(feed, static_cast<std::int64_t>(count));
            }
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            auto& reading = readings[i];
            if (!reading.node || reading.node->isDeleted()) continue;
            if (feedCounts && reading.node->isFeed()) {
                const auto found = feedCounts->find(ids[i]);
                reading.unreadCount = found == feedCounts->end() ? 0 : found->second;
            } else {
                reading.unreadCount = unreadArticlesCount(reading.node);
            }
        }
    });
    return readings;
}

std::optional<std::int64_t> NodesSource::unreadArticlesCount(const std::optional<Node>& node) {
    if (node && node->isFeed()) {
        auto* context = node->context();
        if (!context) return std::nullopt;
        std::int64_t count = 0;
        context->performAndWait([&] { count = static_cast<std::int64_t>(node->asFeed()->unreadCount()); });
        return count;
    }
    if (node && node->isFolder()) {
        auto* context = node->context();
        if (!context) return std::nullopt;
        std::optional<std::int64_t> total;
        context->performAndWait([&] {
            auto feeds = node->object()->toMany(Folder::Key::feeds);
            auto summed = context->sumOfCounts(feeds, Feed::Key::unreadArticles);
            if (summed.ok()) total = summed.value();
        });
        return total;
    }
    graph::Context& main = mainContext();
    auto fetched = main.fetch(FetchRequest(Feed::entityName));
    if (!fetched.ok()) return std::nullopt;
    auto summed = main.sumOfCounts(fetched.value().all(), Feed::Key::unreadArticles);
    return summed.ok() ? std::optional<std::int64_t>(summed.value()) : std::nullopt;
}

std::optional<graph::Bytes> NodesSource::iconData(const Node& node) {
    auto feed = node.asFeed();
    if (!feed || !feed->context()) return std::nullopt;
    std::optional<graph::Bytes> data;
    feed->context()->performAndWait([&] { data = feed->icon(); });
    if (data && data->empty()) return std::nullopt;
    return data;
}

// MARK: Changes of one object

namespace {
// Runs the change inside the object's context and saves there; an object
// without context is left alone.
template <typename Change>
void changeAndSave(const StoredObject& object, Change&& change) {
    graph::Context* context = object.context();
    if (!context) return;
    context->performAndWait([&] {
        change();
        (void)context->save();
    });
}
}  // namespace

void NodesSource::setNotifyUpdates(const Feed& feed, bool notify) {
    changeAndSave(feed, [&] { feed.setNotifyUpdates(notify); });
}

void NodesSource::setNewsletterType(const Feed& feed, NewsletterType newsletterType) {
    changeAndSave(feed, [&] { feed.setNewsletterType(static_cast<std::int16_t>(rawValue(newsletterType))); });
}

void NodesSource::setName(const Node& node, const std::string& name) {
    changeAndSave(node, [&] { node.setName(name); });
}

void NodesSource::setClosed(const Folder& folder, bool closed) {
    changeAndSave(folder, [&] { folder.setClosed(closed); });
}

bool NodesSource::isClosed(const Folder& folder) {
    graph::Context* context = folder.context();
    if (!context) return false;
    bool closed = false;
    context->performAndWait([&] { closed = folder.closed(); });
    return closed;
}

void NodesSource::setPriority(const Node& node, int position) {
    changeAndSave(node, [&] {
        node.setPriority(static_cast<std::int16_t>(position - 1));
        node.updateSortName();
        if (auto folder = node.asFolder())
            for (const Feed& feed : folder->feeds()) feed.updateSortName();
    });
}

void NodesSource::setIcon(const Feed& feed, std::optional<graph::Bytes> icon, graph::Context& context) {
    feed.setIcon(std::move(icon));
    (void)context.save();
}

void NodesSource::setHTTPInfo(const Feed& feed, const WebServiceHTTPInfo& info, graph::Context& context) {
    feed.setHttpLastModified(info.lastModified);
    feed.setHttpETag(info.eTag);
    (void)context.save();
}

// MARK: Creation and deletion

Feed NodesSource::addFeed(const std::string& name, const std::string& urlString, std::optional<graph::Bytes> icon,
                          const std::optional<ObjectID>& folderID, bool notify, NewsletterType newsletterType) {
    return *insertFeeds({NewFeed{name, urlString, std::move(icon), folderID, notify, newsletterType}}, false).front();
}

std::optional<Feed> NodesSource::addFeedUnlessStored(const std::string& name, const std::string& urlString,
                                                     std::optional<graph::Bytes> icon,
                                                     const std::optional<ObjectID>& folderID, bool notify,
                                                     NewsletterType newsletterType) {
    return insertFeeds({NewFeed{name, urlString, std::move(icon), folderID, notify, newsletterType}}, true).front();
}

std::vector<std::optional<Feed>> NodesSource::addFeedsUnlessStored(std::vector<NewFeed> feeds) {
    return insertFeeds(std::move(feeds), true);
}

std::vector<std::optional<Feed>> NodesSource::insertFeeds(std::vector<NewFeed> feeds, bool unlessStored) {
    graph::Context& background = backgroundContext();
    std::vector<std::optional<Feed>> created(feeds.size());
    bool anyCreated = false;
    bool batched = false;
    std::vector<Feed> feedsBeforePass;
    {
        std::lock_guard lock(mutex_);
        batched = addingFeeds_ > 0;
    }
    background.performAndWait([&] {
        for (std::size_t index = 0; index < feeds.size(); ++index) {
            // Checked in the block that inserts, so two adds of one feed
            // cannot both pass; the count sees this block's inserts too.
            const auto url = URL::parse(feeds[index].urlString);
            if (unlessStored && url && holdsFeed(background, *url)) continue;
            created[index] = makeFeed(std::move(feeds[index]));
            anyCreated = true;
        }
        if (!anyCreated) return;
        // The list of all feeds as it stands before the positions change;
        // the positions go with the new feeds, in one save: the views take
        // the new rows in their places at once.
        if (!batched) {
            feedsBeforePass = fetchAllFeeds();
            renumber(background, SortNames::rebuilt);
        }
        (void)background.save();
    });
    if (!anyCreated) return created;
    if (!batched) {
        publishAllFeeds(std::move(feedsBeforePass));
        awaitMainContextMerge();
        return created;
    }
    {
        std::lock_guard lock(mutex_);
        if (addingFeeds_ > 0) {
            addedInBatch_ = true;
            return created;
        }
    }
    // The batch ended meanwhile, without these feeds.
    reloadAllFeeds();
    normalizeSavedSortValues();
    return created;
}

Feed NodesSource::makeFeed(NewFeed made) {
    graph::Context& background = backgroundContext();
    const auto url = URL::parse(made.urlString);
    std::optional<Folder> folder = made.folderID ? Folder::from(existing(background, *made.folderID)) : std::nullopt;
    Feed feed = Feed::insert(background);
    feed.setName(strippingHTML(made.name, false));
    feed.setUrl(made.urlString);
    feed.setIcon(std::move(made.icon));
    feed.setFolder(folder);
    feed.setNotifyUpdates(made.notify);
    feed.setNewsletterType(static_cast<std::int16_t>(rawValue(made.newsletterType)));
    feed.setTallowmereHash(url ? URLIdentityHash::hash(*url) : 0);
    feed.setCreatedAt(graph::Date::now());
    feed.updateSortName();
    return feed;
}

void NodesSource::beginAddingFeeds() {
    std::lock_guard lock(mutex_);
    ++addingFeeds_;
}

void NodesSource::endAddingFeeds() {
    {
        std::lock_guard lock(mutex_);
        if (addingFeeds_ == 0 || --addingFeeds_ > 0 || !addedInBatch_) return;
        addedInBatch_ = false;
    }
    reloadAllFeeds();
    normalizeSavedSortValues();
}

Folder NodesSource::addFolder(const std::string& name) {
    graph::Context& background = backgroundContext();
    std::optional<Folder> created;
    background.performAndWait([&] {
        Folder folder = Folder::insert(background);
        folder.setName(name);
        folder.setSortValue(1);
        folder.updateSortName();
        (void)background.save();
        created = folder;
    });
    reloadFolderNames();
    return *created;
}

void NodesSource::deleteNodes(const Node& node, Completion completion) {
    graph::Context* context = node.context();
    if (!context) {
        call(completion);
        return;
    }
    context->performAndWait([&] { context->deleteObject(node.object()); });
    std::weak_ptr<NodesSource> weakSelf = weak_from_this();
    dataController_->save([weakSelf, completion = std::move(completion)] {
        if (auto self = weakSelf.lock()) {
            self->reloadAllFeeds();
            self->reloadFolderNames();
        }
        call(completion);
    });
}

void NodesSource::removeSearchDocuments(const std::vector<Feed>& feeds) const {
    if (!searchIndex_ || feeds.empty()) return;
    for (const Feed& feed : feeds)
        for (const ObjectID& article : feed.object()->toManyIDs(Feed::Key::articles))
            searchIndex_->removeDocument(article.uriRepresentation());
    searchIndex_->compactIndex();
}

void NodesSource::removeAllNodes(Completion completion) {
    std::weak_ptr<NodesSource> weakSelf = weak_from_this();
    mainContext().perform([weakSelf, completion = std::move(completion)] {
        auto self = weakSelf.lock();
        if (!self) return call(completion);
        graph::Context& main = self->mainContext();
        auto fetched = main.fetch(FetchRequest(Node::entityName));
        if (!fetched.ok()) {
            call(completion);
            return;
        }
        std::vector<Feed> feeds;
        std::vector<ObjectPtr> nodes = fetched.value().all();
        for (const ObjectPtr& object : nodes)
            if (auto feed = Feed::from(object)) feeds.push_back(*feed);
        self->removeSearchDocuments(feeds);
        for (const ObjectPtr& object : nodes) main.deleteObject(object);
        self->dataController_->save(completion);
    });
}

void NodesSource::deleteFeeds(const std::vector<URL>& notIn, Completion completion) {
    std::vector<graph::Value> hashes, urls;
    for (const URL& url : notIn) {
        hashes.emplace_back(URLIdentityHash::hash(url));
        urls.emplace_back(url.absoluteString());
    }
    FetchRequest request(Feed::entityName);
    request.predicate = !Predicate::in(Feed::Key::tallowmereHash, std::move(hashes)) &&
                        !Predicate::in(Feed::Key::url, std::move(urls));
    std::weak_ptr<NodesSource> weakSelf = weak_from_this();
    backgroundContext().perform([weakSelf, request, completion = std::move(completion)]() mutable {
        auto self = weakSelf.lock();
        if (!self) return call(completion);
        graph::Context& background = self->backgroundContext();
        auto fetched = background.fetch(request);
        if (!fetched.ok()) {
            call(completion);
            return;
        }
        auto feeds = makeHandles<Feed>(fetched.value().all());
        self->removeSearchDocuments(feeds);
        for (const Feed& feed : feeds) background.deleteObject(feed.object());
        self->reloadAllFeeds();
        self->deleteEmptyFolders(std::move(completion));
    });
}

void NodesSource::deleteEmptyFolders(Completion completion) {
    FetchRequest request(Folder::entityName);
    request.predicate = Predicate::count(Folder::Key::feeds, graph::Comparison::equal, 0);
    std::weak_ptr<NodesSource> weakSelf = weak_from_this();
    backgroundContext().perform([weakSelf, request, completion = std::move(completion)] {
        auto self = weakSelf.lock();
        if (!self) return call(completion);
        graph::Context& background = self->backgroundContext();
        auto fetched = background.fetch(request);
        if (!fetched.ok()) {
            call(completion);
            return;
        }
        for (const ObjectPtr& folder : fetched.value().all()) background.deleteObject(folder);
        self->dataController_->save([weakSelf] {
            if (auto self = weakSelf.lock()) self->reloadFolderNames();
        });
        call(completion);
    });
}

void NodesSource::applyCloudFeedSettings(const std::vector<CloudFeedList>& lists, Completion completion) {
    std::shared_ptr<graph::Context> context = dataController_->backgroundContext();
    context->perform([context, lists, completion = std::move(completion)] {
        graph::Context& background = *context;
        auto fetched = background.fetch(FetchRequest(Feed::entityName));
        if (!fetched.ok()) {
            call(completion);
            return;
        }
        for (const ObjectPtr& object : fetched.value()) {
            Feed feed(object);
            auto url = feed.url();
            if (!url) continue;
            std::optional<bool> notify;
            std::optional<NewsletterType> newsletter;
            for (const auto& [urls, kind] : lists) {
                const bool listed = std::find(urls.begin(), urls.end(), *url) != urls.end();
                switch (kind) {
                    case CloudFeedsType::push: notify = listed; break;
                    case CloudFeedsType::newsletterHourly:
                        if (!newsletter && listed) newsletter = NewsletterType::hourly;
                        break;
                    case CloudFeedsType::newsletterDaily:
                        if (!newsletter && listed) newsletter = NewsletterType::daily;
                        break;
                    case CloudFeedsType::user: break;
                }
            }
            if (notify) feed.setNotifyUpdates(*notify);
            feed.setNewsletterType(static_cast<std::int16_t>(rawValue(newsletter.value_or(NewsletterType::none))));
        }
        (void)background.save();
        call(completion);
    });
}

}  // namespace tallowmere
