#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "platform/graph/Context.h"
#include "platform/graph/ObjectID.h"
#include "platform/textindex/SearchCancellation.h"
#include "platform/textindex/TextIndex.h"
#include "platform/textindex/TextIndexDocument.h"
#include "platform/textindex/TextIndexError.h"

namespace tallowmere {

class Article;
class DataController;
class SearchIndexRebuild;

// The full-text index of the stored articles, kept in a file of its own, and
// the free-text search over it that answers with article object IDs.
//
// Every change to and query of the index runs on the search queue, in the
// order it was queued. A document is keyed by its article's object-ID URI.
class SearchManager {
public:
    static constexpr const char* searchQueueLabel = "search_manager_search_queue";
    // Most object IDs handed to a search's batch callback at once.
    static constexpr std::size_t batchSize = 50;
    static constexpr std::array<std::string_view, 2> stopWordLanguages = {"en", "it"};
    // The stop words shipped with the program, under resources/.
    static constexpr const char* stopWordsResource = "StopwordsJSON.json";

    using BatchHandler = std::function<void(std::vector<graph::ObjectID> objectIDs)>;
    using Completion = std::function<void()>;

    // Created on first use over defaultIndexPath(), converting search
    // results through DataController::shared(); never released.
    static SearchManager& shared();
    // $XDG_DATA_HOME/<appName>/<appName>.index, with AppUtils::appName() as
    // read at the call.
    static std::filesystem::path defaultIndexPath();

    // Opens the index at the path, or creates it (and its folder) when there
    // is none. When neither works the manager runs without an index, which
    // it reports once as a warning. A damaged index file (one that cannot be
    // read as an index, or empty, or one that an operation later finds
    // damaged) is moved aside whole as "<path>.damaged-<UTC time>" and a fresh
    // index is rebuilt from the store in the background; meanwhile search
    // answers from what is indexed so far. Search results are turned into IDs of
    // the controller's store; with none given, of DataController::shared().
    SearchManager(const std::filesystem::path& indexPath, std::shared_ptr<DataController> dataController);
    // Runs what is still queued, then closes the index.
    ~SearchManager();
    SearchManager(const SearchManager&) = delete;
    SearchManager& operator=(const SearchManager&) = delete;

    bool hasIndex() const { return hasIndex_.load(); }
    // True while a rebuild of a damaged index runs.
    bool isRebuilding() const { return rebuilding_.load(); }
    dispatch::SerialQueue& searchQueue() const { return *searchQueue_; }

    // Reads the article's text inside its context and queues its addition,
    // replacing any earlier document of the article. Call it inside or
    // outside the article's context. Skipped for an article without a
    // context or without a title.
    void indexArticle(const Article& article);

    // The indexed text: title, text and tag names, joined by blanks; nothing
    // when the article has no title. Call inside the article's context.
    static std::optional<std::string> documentText(const Article& article);
    // The document key of the article: the URI of its object ID, made
    // permanent first so that the document added and the one removed later
    // are the same. Nothing without a context, or when no permanent ID could
    // be had (a temporary URI could never be found again).
    static std::optional<std::string> documentURI(const Article& article);
    // Gives the object a permanent ID; a failure is dropped. Inside the context.
    static void obtainPermanentIDs(graph::Context& context, const graph::ObjectPtr& object);

    // Removes the document with the URI; false without an index or on a
    // failure. Meant to run on the search queue; called elsewhere it waits
    // for the queue. Called from a search's callback it is queued to run
    // after the search, and gives false.
    bool removeDocument(std::string_view uri);
    // Brings the index into its compact form; worth it after a run of
    // removals. Queue rule as removeDocument.
    bool compactIndex();

    // Searches on the search queue and returns at once. Every word of the
    // text must match, the last one as a prefix ("abc" finds "abcdef");
    // query syntax in the text is searched for, never obeyed. The batch
    // callback receives the matching articles' IDs, at most batchSize at a
    // time; then the completion runs once, also when nothing matched or
    // there is no index. Both run on the search queue.
    void search(std::string text, BatchHandler batch, Completion completion);

    // The union of the "en" and "it" word lists of a JSON object of language
    // codes to word arrays; nothing when the JSON is not such an object.
    static std::optional<std::set<std::string>> stopWords(std::string_view json);

private:
    struct OpenedIndex {
        std::unique_ptr<textindex::TextIndex> index;
        bool replacedDamaged = false;
    };
    static OpenedIndex openIndex(const std::filesystem::path& path);
    static std::unique_ptr<textindex::TextIndex> openOrCreate(const std::filesystem::path& path);
    static std::optional<std::string> setAsideDamaged(const std::filesystem::path& path, const std::string& reason);
    // On the search queue: a failure that shows damage replaces the index.
    void noteFailure(const textindex::TextIndexError& error);
    void startRebuild();
    std::shared_ptr<DataController> dataController() const;
    void queueAddition(textindex::TextIndexDocument document);
    void writePendingAdditions();
    void performSearch(const std::string& text, const BatchHandler& batch);
    template <typename Operation>
    bool onSearchQueue(Operation&& operation);

    const std::shared_ptr<DataController> dataController_;
    const std::filesystem::path indexPath_;
    // Replaced only on the search queue (or while no other thread can reach it).
    std::unique_ptr<textindex::TextIndex> searchIndex_;
    std::atomic<bool> hasIndex_{false};
    std::atomic<bool> rebuilding_{false};
    // Search queue only, after construction.
    std::unique_ptr<SearchIndexRebuild> rebuild_;
    // Search queue only.
    std::shared_ptr<textindex::SearchCancellation> currentSearch_;
    bool searching_ = false;
    // Additions that have run on the search queue but are not yet written:
    // consecutive additions share one transaction, written once no further
    // addition waits in the queue, or before anything else uses the index.
    std::vector<textindex::TextIndexDocument> pendingAdditions_;
    std::atomic<std::size_t> queuedAdditions_{0};
    std::unique_ptr<dispatch::SerialQueue> searchQueue_;
};

}  // namespace tallowmere
