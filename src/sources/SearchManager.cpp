#include "sources/SearchManager.h"

#include <nlohmann/json.hpp>
#include <system_error>
#include <utility>

#include "foundation/AppUtils.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"
#include "foundation/Resources.h"
#include "platform/graph/StoreRecovery.h"
#include "sources/SearchIndexRebuild.h"
#include "store/Article.h"
#include "store/DataController.h"
#include "store/DataDirectory.h"
#include "store/Tag.h"

namespace tallowmere {

namespace {

// Consecutive additions are written together, but never more than this many
// in one transaction, so that memory stays bounded during a bulk re-index.
constexpr std::size_t kMaxPendingAdditions = 1000;

bool holdsData(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size > 0;
}

}  // namespace

SearchManager& SearchManager::shared() {
    static SearchManager* const instance = new SearchManager(defaultIndexPath(), nullptr);
    return *instance;
}

std::filesystem::path SearchManager::defaultIndexPath() {
    const std::string name = AppUtils::appName();
    return DataDirectory::dataHome() / name / (name + ".index");
}

SearchManager::SearchManager(const std::filesystem::path& indexPath, std::shared_ptr<DataController> dataController)
    : dataController_(std::move(dataController)),
      indexPath_(indexPath),
      searchQueue_(makeDispatchQueue(searchQueueLabel, QualityOfService::userInitiated)) {
    OpenedIndex opened = openIndex(indexPath_);
    searchIndex_ = std::move(opened.index);
    hasIndex_ = searchIndex_ != nullptr;
    if (opened.replacedDamaged && searchIndex_) {
        rebuilding_ = true;
        searchQueue_->async([this] { startRebuild(); });
    }
}

SearchManager::~SearchManager() {
    // A rebuild's batches go through the queue; it stops first.
    if (searchQueue_) searchQueue_->sync([this] { rebuild_.reset(); });
    // The queue runs what is still queued before it stops; anything it left
    // unwritten is written here, where no other thread can reach the index.
    searchQueue_.reset();
    writePendingAdditions();
}

std::optional<std::string> SearchManager::setAsideDamaged(const std::filesystem::path& path, const std::string& reason) {
    auto aside = graph::StoreRecovery::moveAside(path.string());
    if (!aside) {
        Logger::error([&] { return "search index " + path.string() + " is damaged (" + reason + ") and " + aside.error().message; });
        return std::nullopt;
    }
    Logger::error([&] {
        return "search index " + path.string() + " is damaged (" + reason + "); kept as " + *aside +
               ", rebuilding it from the store";
    });
    return *aside;
}

SearchManager::OpenedIndex SearchManager::openIndex(const std::filesystem::path& path) {
    std::error_code folderError;
    std::filesystem::create_directories(path.parent_path(), folderError);
    if (folderError) {
        Logger::warning([&] {
            return "search runs without an index: cannot create " + path.parent_path().string() + ": " +
                   folderError.message();
        });
        return {};
    }
    OpenedIndex result;
    // An empty file is what is left of an index cut short, not a new one.
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored) && !holdsData(path)) {
        if (!setAsideDamaged(path, "empty file")) return {};
        result.replacedDamaged = true;
    }
    // An existing index keeps the stop words stored in it; the shipped list
    // matters only for a new one, and without it none is made.
    textindex::TextIndexProperties properties;
    const std::optional<std::string_view> resource = Resources::data(stopWordsResource);
    std::optional<std::set<std::string>> words = resource ? stopWords(*resource) : std::nullopt;
    if (words) {
        properties.stopWords = std::move(*words);
    } else if (!holdsData(path)) {
        Logger::warning([] { return std::string("search runs without an index: no readable stop words"); });
        return {};
    }
    auto opened = textindex::TextIndex::open(path, properties);
    if (!opened && opened.error().code == textindex::TextIndexErrorCode::corrupt && words &&
        setAsideDamaged(path, opened.error().description())) {
        result.replacedDamaged = true;
        opened = textindex::TextIndex::open(path, properties);
    }
    if (!opened) {
        Logger::warning([&] { return "search runs without an index: " + opened.error().description(); });
        return {};
    }
    result.index = std::move(opened).value();
    return result;
}

// On the search queue. The damaged index is closed before its file moves.
void SearchManager::noteFailure(const textindex::TextIndexError& error) {
    if (error.code != textindex::TextIndexErrorCode::corrupt) return;
    rebuild_.reset();
    searchIndex_.reset();
    hasIndex_ = false;
    if (!setAsideDamaged(indexPath_, error.description())) return;
    OpenedIndex opened = openIndex(indexPath_);
    searchIndex_ = std::move(opened.index);
    hasIndex_ = searchIndex_ != nullptr;
    if (searchIndex_) startRebuild();
}

// On the search queue. Each batch is written there, between other work, so
// searches run meanwhile and find what is written so far.
void SearchManager::startRebuild() {
    rebuilding_ = true;
    rebuild_ = std::make_unique<SearchIndexRebuild>(
        dataController(), [this](std::vector<textindex::TextIndexDocument> documents, std::function<void()> written) {
            searchQueue_->async([this, documents = std::move(documents), written = std::move(written)] {
                if (searchIndex_) {
                    writePendingAdditions();
                    if (auto added = searchIndex_->addDocuments(documents); !added) noteFailure(added.error());
                }
                written();
            });
        });
    rebuild_->start([this](std::size_t documents) {
        searchQueue_->async([this, documents] {
            rebuilding_ = false;
            Logger::warning([&] { return "search index rebuilt from the store: " + std::to_string(documents) + " articles"; });
        });
    });
}

std::optional<std::set<std::string>> SearchManager::stopWords(std::string_view json) {
    const nlohmann::json lists = nlohmann::json::parse(json, nullptr, false);
    if (!lists.is_object()) return std::nullopt;
    for (const auto& [language, words] : lists.items()) {
        if (!words.is_array()) return std::nullopt;
        for (const nlohmann::json& word : words) {
            if (!word.is_string()) return std::nullopt;
        }
    }
    std::set<std::string> result;
    for (std::string_view language : stopWordLanguages) {
        const auto words = lists.find(std::string(language));
        if (words == lists.end()) continue;
        for (const nlohmann::json& word : *words) result.insert(word.get<std::string>());
    }
    return result;
}

std::shared_ptr<DataController> SearchManager::dataController() const {
    return dataController_ ? dataController_ : DataController::shared();
}

void SearchManager::obtainPermanentIDs(graph::Context& context, const graph::ObjectPtr& object) {
    (void)context.obtainPermanentIDs({object});
}

std::optional<std::string> SearchManager::documentURI(const Article& article) {
    graph::Context* context = article.context();
    if (!context) return std::nullopt;
    std::optional<std::string> uri;
    context->performAndWait([&] {
        if (article.objectID().isTemporary()) obtainPermanentIDs(*context, article.object());
        const graph::ObjectID id = article.objectID();
        if (!id.isTemporary()) uri = id.uriRepresentation();
    });
    return uri;
}

std::optional<std::string> SearchManager::documentText(const Article& article) {
    std::optional<std::string> title = article.title();
    if (!title) return std::nullopt;
    std::string tagNames;
    bool first = true;
    for (const Tag& tag : article.tags()) {
        if (!first) tagNames += ' ';
        first = false;
        tagNames += tag.name().value_or("");
    }
    return *title + " " + article.textContent().value_or("") + " " + tagNames;
}

void SearchManager::indexArticle(const Article& article) {
    std::optional<std::string> uri = documentURI(article);
    if (!uri || !hasIndex()) return;
    graph::Context* context = article.context();
    if (!context) return;
    std::optional<std::string> text;
    context->performAndWait([&] { text = documentText(article); });
    if (!text) return;
    queueAddition({std::move(*uri), std::move(*text)});
}

void SearchManager::queueAddition(textindex::TextIndexDocument document) {
    queuedAdditions_.fetch_add(1);
    searchQueue_->async([this, document = std::move(document)]() mutable {
        pendingAdditions_.push_back(std::move(document));
        const bool lastQueued = queuedAdditions_.fetch_sub(1) == 1;
        if (lastQueued || pendingAdditions_.size() >= kMaxPendingAdditions) writePendingAdditions();
    });
}

void SearchManager::writePendingAdditions() {
    if (pendingAdditions_.empty() || !searchIndex_) return;
    if (auto added = searchIndex_->addDocuments(pendingAdditions_); !added) {
        if (added.error().code == textindex::TextIndexErrorCode::corrupt) {
            // Kept for the fresh index: these may not be in the store yet.
            std::vector<textindex::TextIndexDocument> pending;
            pending.swap(pendingAdditions_);
            noteFailure(added.error());
            if (searchIndex_) (void)searchIndex_->addDocuments(pending);
            return;
        }
        // The batch was written all or nothing; one bad document must not
        // cost the others their place in the index.
        for (const auto& document : pendingAdditions_) (void)searchIndex_->addDocument(document.uri, document.text);
    }
    pendingAdditions_.clear();
}

template <typename Operation>
bool SearchManager::onSearchQueue(Operation&& operation) {
    if (searchQueue_->isCurrent()) {
        if (!searching_) return operation();
        // Called from a search's callback: the index is in the middle of
        // handing out results and must not change under them.
        searchQueue_->async([operation]() mutable { (void)operation(); });
        return false;
    }
    bool result = false;
    searchQueue_->sync([&] { result = operation(); });
    return result;
}

bool SearchManager::removeDocument(std::string_view uri) {
    return onSearchQueue([this, uri = std::string(uri)] {
        if (!searchIndex_) return false;
        writePendingAdditions();
        if (!searchIndex_) return false;
        auto removed = searchIndex_->removeDocument(uri);
        if (!removed) noteFailure(removed.error());
        return removed.ok();
    });
}

bool SearchManager::compactIndex() {
    return onSearchQueue([this] {
        if (!searchIndex_) return false;
        writePendingAdditions();
        if (!searchIndex_) return false;
        auto compacted = searchIndex_->compact();
        if (!compacted) noteFailure(compacted.error());
        return compacted.ok();
    });
}

void SearchManager::search(std::string text, BatchHandler batch, Completion completion) {
    searchQueue_->async([this, text = std::move(text), batch = std::move(batch), completion = std::move(completion)] {
        performSearch(text, batch);
        // Also without an index or after a failed search, so that whoever
        // waits for the search settles.
        if (completion) completion();
    });
}

void SearchManager::performSearch(const std::string& text, const BatchHandler& batch) {
    if (currentSearch_) currentSearch_->cancel();
    if (!searchIndex_) return;
    writePendingAdditions();
    if (!searchIndex_) return;
    currentSearch_ = std::make_shared<textindex::SearchCancellation>();
    const std::shared_ptr<DataController> controller = dataController();
    textindex::TextIndexSearchOptions options;
    options.batchSize = batchSize;
    options.passTimeLimit = std::chrono::seconds(1);
    // The index makes the last word a prefix itself, as "*" after the text would.
    searching_ = true;
    auto searched = searchIndex_->search(text, *currentSearch_, [&](std::vector<std::string> uris) {
        std::vector<graph::ObjectID> objectIDs;
        objectIDs.reserve(uris.size());
        for (const std::string& uri : uris) {
            if (std::optional<graph::ObjectID> id = controller->objectID(uri)) objectIDs.push_back(*id);
        }
        if (batch) batch(std::move(objectIDs));
    }, options);
    searching_ = false;
    if (!searched) noteFailure(searched.error());
}

}  // namespace tallowmere
