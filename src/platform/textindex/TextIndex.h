#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/textindex/Fts5TermTokenizer.h"
#include "platform/textindex/IndexStatement.h"
#include "platform/textindex/SearchCancellation.h"
#include "platform/textindex/TermTokenizer.h"
#include "platform/textindex/TextIndexDocument.h"
#include "platform/textindex/TextIndexProperties.h"
#include "platform/textindex/TextIndexResult.h"
#include "platform/textindex/TextIndexSearchOptions.h"

namespace tallowmere::textindex {

// A file-backed full-text index of documents keyed by a URI text, on SQLite
// FTS5 with a tokenizer of our own (see TermTokenizer). Text is folded, so
// "cafe" finds "Café"; queries are plain text, the last word a prefix.
//
// Thread rule: an index is used from one queue at a time (its owner's serial
// queue); it holds no lock of its own. Only a SearchCancellation may be
// touched from elsewhere.
//
// Every change is committed before its call returns, so nothing needs
// flushing; addDocuments() commits many in one transaction, which is far
// faster for bulk indexing.
class TextIndex {
public:
    // Batches of matching URIs, in the index's order.
    using BatchHandler = std::function<void(std::vector<std::string> uris)>;

    // Opens the index file at the path, or creates it when there is no file
    // (or an empty one). The properties apply only to a new index: an existing
    // index keeps those stored in it. The folder must exist. A file that is
    // not a readable index gives TextIndexErrorCode::corrupt and is left as
    // it is. Opening checks the tables and properties, not every page: damage
    // found later makes the operation that meets it fail with corrupt.
    static TextIndexResult<std::unique_ptr<TextIndex>> open(const std::filesystem::path& path,
                                                            const TextIndexProperties& propertiesForNewIndex);
    ~TextIndex();
    TextIndex(const TextIndex&) = delete;
    TextIndex& operator=(const TextIndex&) = delete;

    // The properties in force: those stored in the index file.
    const TextIndexProperties& properties() const { return properties_; }

    // Adds a document, replacing any document with the same URI.
    TextIndexResult<void> addDocument(std::string_view uri, std::string_view text);
    // Adds documents in one transaction: all or, on failure, none.
    TextIndexResult<void> addDocuments(const std::vector<TextIndexDocument>& documents);
    // Removes the document with the URI; a URI not in the index is no error.
    TextIndexResult<void> removeDocument(std::string_view uri);
    // Merges the index into its most compact form and returns freed space to
    // the file system; worth its cost after many removals, not after each.
    TextIndexResult<void> compact();

    // Finds the documents that hold every word of the text (the last word as
    // a prefix) and hands their URIs to the handler in batches, on the calling
    // thread, before it returns. Between batches the cancellation is checked.
    // A text without any indexable word finds nothing. The handler must not
    // use this index.
    TextIndexResult<TextIndexSearchEnd> search(std::string_view text, const SearchCancellation& cancellation,
                                               const BatchHandler& handler,
                                               const TextIndexSearchOptions& options = {});

private:
    TextIndex(sqlite3* connection, TextIndexProperties properties, bool keepsText);

    TextIndexError failure(int status, std::string_view doing) const;
    TextIndexResult<void> execute(std::string_view sql, std::string_view doing);
    TextIndexResult<void> prepareStatements();
    TextIndexResult<void> createSchema();
    TextIndexResult<void> addOne(const TextIndexDocument& document);
    // Takes a document's terms out of the full-text table, given the terms
    // stored with it (the table keeps no copy of the text).
    int forgetTerms(int64_t id, std::string_view storedTerms, bool numbered);
    // The distinct terms of a text as stored with its document: their numbers
    // in the vocabulary (new terms are added to it), and back to the terms.
    TextIndexResult<std::string> numberedTerms(const std::vector<std::string>& terms);
    TextIndexResult<std::string> numbersText(std::string_view stored);
    // Term lists of format 2 files: the terms themselves, front-coded.
    static std::string termsText(std::string_view storedTerms);
    TextIndexResult<void> takeUpVocabulary();
    // Document URIs as stored (see storedUri in the source) and back.
    std::string storedUri(std::string_view uri) const;
    std::string documentUri(std::string_view stored) const;
    TextIndexResult<void> choosePrefix(std::string_view uri);
    TextIndexResult<void> loadPrefix();
    TextIndexResult<void> shortenUris();
    TextIndexResult<void> prepareVocabulary();
    TextIndexResult<void> rollback(TextIndexError error);
    void releaseFreePages();

    sqlite3* connection_;
    TextIndexProperties properties_;
    // Used by FTS5 through the connection, so it lives as long as the connection.
    std::unique_ptr<TermTokenizer> tokenizer_;
    Fts5TermTokenizer::Binding binding_;
    // Indexes of the first format keep a copy of each text in the full-text
    // table; later ones keep only the terms of each document.
    bool keepsText_ = false;
    IndexStatement findDocument_;
    IndexStatement insertDocument_;
    IndexStatement updateTerms_;
    IndexStatement upsertDocument_;
    IndexStatement replaceTerms_;
    IndexStatement deleteDocument_;
    IndexStatement deleteTerms_;
    IndexStatement findTerm_;
    IndexStatement insertTerm_;
    IndexStatement termOf_;
    // The start shared by the documents' URIs, left out where they are stored;
    // empty until the first document. Pending while its transaction is open.
    std::string uriPrefix_;
    bool prefixPending_ = false;
    // The vocabulary's numbers of the terms met so far.
    std::unordered_map<std::string, int64_t> termNumbers_;
    IndexStatement search_;
    IndexStatement begin_;
    IndexStatement freePages_;
    IndexStatement commit_;
    IndexStatement rollback_;
};

}  // namespace tallowmere::textindex
