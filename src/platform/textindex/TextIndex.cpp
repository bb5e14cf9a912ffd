#include "platform/textindex/TextIndex.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "platform/textindex/Fts5TermTokenizer.h"
#include "platform/textindex/MatchExpression.h"

namespace tallowmere::textindex {

namespace {

// Raised whenever the layout of the file changes in a way older code cannot
// read. Format 1 kept a copy of every text in the full-text table; format 2
// keeps none (a contentless table) and stores each document's distinct terms,
// with which its entries are deleted; format 3 stores them as numbers of a
// vocabulary, a fraction of the size; format 4 stores the URIs that begin
// with the index's document prefix without it. Files of format 1 stay
// readable; files of formats 2 and 3 become format 4 when opened (format 2
// files keep their older term lists).
constexpr const char* kFormat = "4";
constexpr const char* kFormatFullUris = "3";
constexpr const char* kFormatTermTexts = "2";
constexpr const char* kFormatKeepingText = "1";
constexpr const char* kVocabularySchema = "CREATE TABLE IF NOT EXISTS vocabulary (id INTEGER PRIMARY KEY, term TEXT NOT NULL UNIQUE)";

// Stored terms: the shared length byte starts above the blank that separates terms.
constexpr std::size_t kSharedBase = 0x21;

TextIndexErrorCode codeFor(int status) {
    switch (status & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
            return TextIndexErrorCode::corrupt;
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_READONLY:
            return TextIndexErrorCode::cannotOpen;
        default:
            return TextIndexErrorCode::storage;
    }
}

TextIndexError errorOf(sqlite3* connection, int status, std::string_view doing) {
    return {codeFor(status), std::string(doing) + ": " + sqlite3_errmsg(connection)};
}

TextIndexError corrupt(std::string message) { return {TextIndexErrorCode::corrupt, std::move(message)}; }

TextIndexResult<std::set<std::string>> tableNames(sqlite3* connection) {
    IndexStatement statement;
    int status = statement.prepare(connection, "SELECT name FROM sqlite_schema WHERE type = 'table'");
    if (status != SQLITE_OK) return errorOf(connection, status, "reading the index's tables");
    std::set<std::string> names;
    while ((status = statement.step()) == SQLITE_ROW) names.emplace(statement.text(0));
    if (status != SQLITE_DONE) return errorOf(connection, status, "reading the index's tables");
    return names;
}

std::optional<std::size_t> parseLength(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<std::size_t>(std::stoul(text));
}

std::optional<std::set<std::string>> parseStopWords(const std::string& text) {
    const nlohmann::json words = nlohmann::json::parse(text, nullptr, false);
    if (!words.is_array()) return std::nullopt;
    std::set<std::string> result;
    for (const nlohmann::json& word : words) {
        if (!word.is_string()) return std::nullopt;
        result.insert(word.get<std::string>());
    }
    return result;
}

TextIndexResult<TextIndexProperties> readProperties(sqlite3* connection) {
    IndexStatement statement;
    int status = statement.prepare(connection, "SELECT name, value FROM properties");
    if (status != SQLITE_OK)
        return corrupt(errorOf(connection, status, "reading the index's properties").message);
    std::map<std::string, std::string> values;
    while ((status = statement.step()) == SQLITE_ROW) values.emplace(statement.text(0), statement.text(1));
    if (status != SQLITE_DONE) return errorOf(connection, status, "reading the index's properties");

    if (values["format"] != kFormat && values["format"] != kFormatFullUris && values["format"] != kFormatTermTexts &&
        values["format"] != kFormatKeepingText)
        return corrupt("unknown index format \"" + values["format"] + "\"");
    const auto length = parseLength(values["minimumTermLength"]);
    const auto stopWords = parseStopWords(values["stopWords"]);
    if (!length || !stopWords || values.count("termCharacters") == 0)
        return corrupt("damaged index properties");
    TextIndexProperties properties;
    properties.termCharacters = values["termCharacters"];
    properties.minimumTermLength = *length;
    properties.stopWords = *stopWords;
    return properties;
}

std::string storedFormat(sqlite3* connection) {
    IndexStatement statement;
    if (statement.prepare(connection, "SELECT value FROM properties WHERE name = 'format'") != SQLITE_OK) return {};
    return statement.step() == SQLITE_ROW ? std::string(statement.text(0)) : std::string();
}

std::string stopWordsJson(const std::set<std::string>& words) {
    // Invalid UTF-8 in a stop word is replaced rather than refused: it could
    // never match a term anyway.
    return nlohmann::json(words).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

TextIndexResult<std::unique_ptr<TextIndex>> TextIndex::open(
    const std::filesystem::path& path, const TextIndexProperties& propertiesForNewIndex) {
    sqlite3* connection = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    const int status = sqlite3_open_v2(path.c_str(), &connection, flags, nullptr);
    if (status != SQLITE_OK) {
        TextIndexError error{TextIndexErrorCode::cannotOpen,
                             "cannot open " + path.string() + ": " + sqlite3_errstr(status)};
        sqlite3_close_v2(connection);
        return error;
    }
    if (sqlite3_db_readonly(connection, "main") == 1) {
        sqlite3_close_v2(connection);
        return TextIndexError{TextIndexErrorCode::cannotOpen, "cannot write " + path.string()};
    }
    sqlite3_busy_timeout(connection, 2000);
    auto tables = tableNames(connection);
    if (!tables) {
        sqlite3_close_v2(connection);
        return tables.error();
    }
    const bool isNew = tables.value().empty();
    TextIndexResult<TextIndexProperties> properties = propertiesForNewIndex;
    if (!isNew) {
        for (const char* table : {"properties", "documents", "terms"}) {
            if (tables.value().count(table) == 0) {
                sqlite3_close_v2(connection);
                return corrupt(path.string() + " is not a text index");
            }
        }
        properties = readProperties(connection);
        if (!properties) {
            sqlite3_close_v2(connection);
            return properties.error();
        }
    }

    const bool keepsText = !isNew && storedFormat(connection) == kFormatKeepingText;
    std::unique_ptr<TextIndex> index(new TextIndex(connection, std::move(properties).value(), keepsText));
    index->binding_.terms = index->tokenizer_.get();
    if (Fts5TermTokenizer::registerWith(connection, index->binding_) != SQLITE_OK) {
        return TextIndexError{TextIndexErrorCode::storage, "cannot register the tokenizer"};
    }
    if (isNew) {
        if (auto created = index->createSchema(); !created) return created.error();
    }
    auto prepared = index->prepareStatements();
    if (prepared && !isNew && storedFormat(connection) == kFormatTermTexts) prepared = index->takeUpVocabulary();
    if (prepared && !keepsText) prepared = index->prepareVocabulary();
    if (prepared && !keepsText) prepared = index->shortenUris();
    if (!prepared) {
        // An existing file whose tables do not have our shape is not an index of ours.
        if (isNew || prepared.error().code != TextIndexErrorCode::storage) return prepared.error();
        return corrupt(prepared.error().message);
    }
    // Only now that the file is known to be ours may its journal mode change.
    // Losing the last commits to a power cut is acceptable for an index; a
    // sync per commit is not.
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL"}) {
        if (auto set = index->execute(pragma, "opening the index"); !set) return set.error();
    }
    return index;
}

TextIndex::TextIndex(sqlite3* connection, TextIndexProperties properties, bool keepsText)
    : connection_(connection),
      properties_(std::move(properties)),
      tokenizer_(std::make_unique<TermTokenizer>(properties_)),
      keepsText_(keepsText) {}

// Statements die after this body, so the connection is closed lazily, once
// they are finalized; the tokenizer outlives both.
TextIndex::~TextIndex() { sqlite3_close_v2(connection_); }

TextIndexError TextIndex::failure(int status, std::string_view doing) const {
    return errorOf(connection_, status, doing);
}

TextIndexResult<void> TextIndex::execute(std::string_view sql, std::string_view doing) {
    const int status = sqlite3_exec(connection_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
    if (status != SQLITE_OK) return failure(status, doing);
    return {};
}

TextIndexResult<void> TextIndex::createSchema() {
    const std::string properties = stopWordsJson(properties_.stopWords);
    // Free pages go back to the file system on compaction; this must be set
    // before the first table exists.
    if (auto result = execute("PRAGMA page_size = 8192; PRAGMA auto_vacuum = INCREMENTAL", "creating the index"); !result)
        return result;
    if (auto result = execute("BEGIN IMMEDIATE", "creating the index"); !result) return result;
    const std::string schema =
        std::string("CREATE TABLE properties (name TEXT PRIMARY KEY, value TEXT NOT NULL);") +
        "CREATE TABLE documents (id INTEGER PRIMARY KEY AUTOINCREMENT, uri TEXT NOT NULL UNIQUE, termList TEXT);" +
        "CREATE VIRTUAL TABLE terms USING fts5(body, tokenize = '" + Fts5TermTokenizer::kName +
        "', content = '', columnsize = 0);" + kVocabularySchema + ";";
    if (auto result = execute(schema, "creating the index"); !result) return rollback(result.error());
    IndexStatement insert;
    int status = insert.prepare(connection_, "INSERT INTO properties (name, value) VALUES (?1, ?2)");
    if (status != SQLITE_OK) return rollback(failure(status, "creating the index"));
    const std::pair<std::string, std::string> values[] = {
        {"format", kFormat},
        {"termCharacters", properties_.termCharacters},
        {"minimumTermLength", std::to_string(properties_.minimumTermLength)},
        {"stopWords", properties},
    };
    for (const auto& [name, value] : values) {
        status = insert.start().bind(1, name).bind(2, value).run();
        if (status != SQLITE_DONE) return rollback(failure(status, "creating the index"));
    }
    return execute("COMMIT", "creating the index");
}

TextIndexResult<void> TextIndex::prepareStatements() {
    std::vector<std::pair<IndexStatement*, const char*>> statements = {
        {&replaceTerms_, "INSERT OR REPLACE INTO terms (rowid, body) VALUES (?1, ?2)"},
        {&search_,
         "SELECT documents.uri FROM terms CROSS JOIN documents ON documents.id = terms.rowid WHERE terms "
         "MATCH ?1"},
        {&begin_, "BEGIN IMMEDIATE"},
        {&freePages_, "PRAGMA freelist_count"},
        {&commit_, "COMMIT"},
        {&rollback_, "ROLLBACK"},
    };
    if (keepsText_) {
        statements.insert(statements.end(),
                          {{&upsertDocument_,
                            "INSERT INTO documents (uri) VALUES (?1) ON CONFLICT (uri) DO UPDATE SET uri = excluded.uri "
                            "RETURNING id"},
                           {&deleteDocument_, "DELETE FROM documents WHERE uri = ?1 RETURNING id"},
                           {&deleteTerms_, "DELETE FROM terms WHERE rowid = ?1"}});
    } else {
        statements.insert(statements.end(),
                          {{&findDocument_, "SELECT id, termList FROM documents WHERE uri = ?1"},
                           {&insertDocument_, "INSERT INTO documents (uri, termList) VALUES (?1, ?2) RETURNING id"},
                           {&updateTerms_, "UPDATE documents SET termList = ?2 WHERE id = ?1"},
                           {&deleteDocument_, "DELETE FROM documents WHERE uri = ?1 RETURNING id, termList"},
                           {&deleteTerms_, "INSERT INTO terms (terms, rowid, body) VALUES ('delete', ?1, ?2)"}});
    }
    for (const auto& [statement, sql] : statements) {
        const int status = statement->prepare(connection_, sql);
        if (status != SQLITE_OK) return failure(status, "preparing the index");
    }
    // Reads the full-text structure once, so that a damaged one shows now
    // rather than at the first search.
    const int status = search_.start().bind(1, "\"tallowmere\"").step();
    search_.start();
    if (status != SQLITE_ROW && status != SQLITE_DONE) return failure(status, "reading the index");
    return {};
}

TextIndexResult<void> TextIndex::takeUpVocabulary() {
    if (auto result = execute("BEGIN IMMEDIATE", "updating the index"); !result) return result;
    const std::string upgrade =
        std::string(kVocabularySchema) + "; UPDATE properties SET value = '" + kFormatFullUris + "' WHERE name = 'format'";
    if (auto result = execute(upgrade, "updating the index"); !result) return rollback(result.error());
    return execute("COMMIT", "updating the index");
}

TextIndexResult<void> TextIndex::prepareVocabulary() {
    const std::pair<IndexStatement*, const char*> statements[] = {
        {&findTerm_, "SELECT id FROM vocabulary WHERE term = ?1"},
        {&insertTerm_, "INSERT INTO vocabulary (term) VALUES (?1) RETURNING id"},
        {&termOf_, "SELECT term FROM vocabulary WHERE id = ?1"},
    };
    for (const auto& [statement, sql] : statements) {
        const int status = statement->prepare(connection_, sql);
        if (status != SQLITE_OK) return failure(status, "preparing the index");
    }
    return {};
}

TextIndexResult<void> TextIndex::rollback(TextIndexError error) {
    for (IndexStatement* statement : {&findDocument_, &insertDocument_, &updateTerms_, &upsertDocument_, &replaceTerms_,
                                      &deleteDocument_, &deleteTerms_, &findTerm_, &insertTerm_, &termOf_}) {
        statement->start();
    }
    // Numbers handed out in the undone transaction are gone from the file, and
    // so is a prefix chosen in it.
    termNumbers_.clear();
    if (prefixPending_) uriPrefix_.clear();
    prefixPending_ = false;
    if (sqlite3_get_autocommit(connection_) == 0) rollback_.start().run();
    return error;
}

TextIndexResult<void> TextIndex::addDocument(std::string_view uri, std::string_view text) {
    return addDocuments({TextIndexDocument{std::string(uri), std::string(text)}});
}

std::string TextIndex::termsText(std::string_view storedTerms) {
    std::string text;
    std::string term;
    for (std::size_t at = 0; at < storedTerms.size();) {
        const std::size_t shared =
            std::min<std::size_t>(static_cast<unsigned char>(storedTerms[at]) - kSharedBase, term.size());
        const std::size_t end = std::min(storedTerms.find(' ', at + 1), storedTerms.size());
        term.resize(shared);
        term.append(storedTerms.substr(at + 1, end - at - 1));
        text += term;
        text += ' ';
        at = end + 1;
    }
    return text;
}

TextIndexResult<std::string> TextIndex::numberedTerms(const std::vector<std::string>& terms) {
    std::vector<int64_t> numbers;
    numbers.reserve(terms.size());
    for (const std::string& term : terms) {
        auto known = termNumbers_.find(term);
        if (known == termNumbers_.end()) {
            int64_t number = 0;
            int status = findTerm_.start().bind(1, term).step();
            if (status == SQLITE_ROW) {
                number = findTerm_.integer(0);
                status = findTerm_.run();
            } else if (status == SQLITE_DONE) {
                status = insertTerm_.start().bind(1, term).step();
                if (status == SQLITE_ROW) {
                    number = insertTerm_.integer(0);
                    status = insertTerm_.run();
                }
            }
            if (status != SQLITE_DONE) return failure(status, "numbering terms");
            known = termNumbers_.emplace(term, number).first;
        }
        numbers.push_back(known->second);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    // Each number as its distance from the one before, seven bits a byte,
    // the high bit set on all bytes but a number's last.
    std::string stored;
    int64_t previous = 0;
    for (const int64_t number : numbers) {
        auto gap = static_cast<uint64_t>(number - previous);
        previous = number;
        for (; gap >= 0x80; gap >>= 7) stored += static_cast<char>((gap & 0x7F) | 0x80);
        stored += static_cast<char>(gap);
    }
    return stored;
}

TextIndexResult<std::string> TextIndex::numbersText(std::string_view stored) {
    std::string text;
    int64_t number = 0;
    uint64_t gap = 0;
    int shift = 0;
    for (const char byte : stored) {
        gap |= static_cast<uint64_t>(static_cast<unsigned char>(byte) & 0x7F) << shift;
        shift += 7;
        if ((byte & 0x80) != 0 && shift < 63) continue;
        number += static_cast<int64_t>(gap);
        gap = 0;
        shift = 0;
        const int status = termOf_.start().bind(1, number).step();
        if (status == SQLITE_ROW) {
            text += termOf_.text(0);
            text += ' ';
        } else if (status != SQLITE_DONE) {
            return failure(status, "reading a document's terms");
        }
        termOf_.start();
    }
    return text;
}

int TextIndex::forgetTerms(int64_t id, std::string_view stored, bool numbered) {
    std::string text;
    if (numbered) {
        auto terms = numbersText(stored);
        if (!terms) return SQLITE_CORRUPT;
        text = std::move(terms).value();
    } else {
        text = termsText(stored);
    }
    return deleteTerms_.start().bind(1, id).bind(2, text).run();
}

TextIndexResult<void> TextIndex::addOne(const TextIndexDocument& document) {
    if (!keepsText_) {
        if (auto chosen = choosePrefix(document.uri); !chosen) return chosen;
        const std::string uri = storedUri(document.uri);
        int status = findDocument_.start().bind(1, uri).step();
        int64_t id = 0;
        if (status == SQLITE_ROW) {
            id = findDocument_.integer(0);
            const bool numbered = findDocument_.holdsBytes(1);  // asked before the text converts it
            const std::string old(findDocument_.text(1));
            findDocument_.start();
            status = forgetTerms(id, old, numbered);
        } else if (status == SQLITE_DONE) {
            status = insertDocument_.start().bind(1, uri).bind(2, std::string_view()).step();
            if (status == SQLITE_ROW) {
                id = insertDocument_.integer(0);
                status = insertDocument_.run();
            }
        }
        if (status != SQLITE_DONE) return failure(status, "adding a document");
        // The terms the full-text table cuts out are the ones kept for deleting.
        std::vector<std::string> terms;
        binding_.collected = &terms;
        status = replaceTerms_.start().bind(1, id).bind(2, document.text).run();
        binding_.collected = nullptr;
        if (status != SQLITE_DONE) return failure(status, "adding a document");
        auto numbered = numberedTerms(terms);
        if (!numbered) return numbered.error();
        status = updateTerms_.start().bind(1, id).bindBytes(2, numbered.value()).run();
        if (status != SQLITE_DONE) return failure(status, "adding a document");
        return {};
    }
    int status = upsertDocument_.start().bind(1, document.uri).step();
    if (status != SQLITE_ROW) return failure(status, "adding a document");
    const int64_t id = upsertDocument_.integer(0);
    status = upsertDocument_.run();
    if (status != SQLITE_DONE) return failure(status, "adding a document");
    status = replaceTerms_.start().bind(1, id).bind(2, document.text).run();
    if (status != SQLITE_DONE) return failure(status, "adding a document");
    return {};
}

TextIndexResult<void> TextIndex::addDocuments(const std::vector<TextIndexDocument>& documents) {
    int status = begin_.start().run();
    if (status != SQLITE_DONE) return failure(status, "adding documents");
    for (const TextIndexDocument& document : documents) {
        if (auto added = addOne(document); !added) return rollback(added.error());
    }
    status = commit_.start().run();
    if (status != SQLITE_DONE) return rollback(failure(status, "adding documents"));
    prefixPending_ = false;
    releaseFreePages();
    return {};
}

TextIndexResult<void> TextIndex::removeDocument(std::string_view uri) {
    int status = begin_.start().run();
    if (status != SQLITE_DONE) return failure(status, "removing a document");
    status = deleteDocument_.start().bind(1, keepsText_ ? std::string(uri) : storedUri(uri)).step();
    if (status == SQLITE_ROW) {
        const int64_t id = deleteDocument_.integer(0);
        const bool numbered = !keepsText_ && deleteDocument_.holdsBytes(1);
        const std::string terms = keepsText_ ? std::string() : std::string(deleteDocument_.text(1));
        status = deleteDocument_.run();
        if (status == SQLITE_DONE)
            status = keepsText_ ? deleteTerms_.start().bind(1, id).run() : forgetTerms(id, terms, numbered);
    }
    if (status != SQLITE_DONE) return rollback(failure(status, "removing a document"));
    status = commit_.start().run();
    if (status != SQLITE_DONE) return rollback(failure(status, "removing a document"));
    return {};
}

// The full-text table's merges free pages as it grows; past a few of them
// they go back to the file system (failing only costs space).
void TextIndex::releaseFreePages() {
    constexpr int64_t kFreePagesKept = 32;
    if (freePages_.start().step() != SQLITE_ROW) return;
    const int64_t free = freePages_.integer(0);
    freePages_.start();
    if (free > kFreePagesKept) (void)execute("PRAGMA incremental_vacuum", "releasing free pages");
}

TextIndexResult<void> TextIndex::compact() {
    if (auto merged = execute("INSERT INTO terms (terms) VALUES ('optimize')", "compacting the index");
        !merged) {
        return merged;
    }
    if (!keepsText_) {
        // Words of removed documents leave the vocabulary once the merge has
        // taken them out of the full-text table.
        termNumbers_.clear();
        const char* prune =
            "CREATE VIRTUAL TABLE IF NOT EXISTS temp.present USING fts5vocab(main, terms, row);"
            "DELETE FROM vocabulary WHERE term NOT IN (SELECT term FROM temp.present)";
        if (auto pruned = execute(prune, "compacting the index"); !pruned) return pruned;
    }
    if (auto freed = execute("PRAGMA incremental_vacuum", "compacting the index"); !freed) return freed;
    return execute("PRAGMA wal_checkpoint(TRUNCATE)", "compacting the index");
}

// Stored URIs: "\x01" and the rest of a URI that begins with the prefix;
// "\x02" and the whole URI for one that itself begins with either mark; any
// other URI as it is. A URI never holds these control characters, so the
// marks only guard against keys that are not URIs.
constexpr char kShortened = '\x01';
constexpr char kEscaped = '\x02';

std::string TextIndex::storedUri(std::string_view uri) const {
    if (!uriPrefix_.empty() && uri.size() > uriPrefix_.size() && uri.starts_with(uriPrefix_))
        return kShortened + std::string(uri.substr(uriPrefix_.size()));
    if (!uri.empty() && (uri.front() == kShortened || uri.front() == kEscaped)) return kEscaped + std::string(uri);
    return std::string(uri);
}

std::string TextIndex::documentUri(std::string_view stored) const {
    if (stored.empty()) return {};
    if (stored.front() == kShortened) return uriPrefix_ + std::string(stored.substr(1));
    if (stored.front() == kEscaped) return std::string(stored.substr(1));
    return std::string(stored);
}

// The documents of an index share the start of their URIs (the store and
// entity they belong to): the first document's URI up to its last "/"
// becomes the prefix, kept in the file, in the same transaction.
TextIndexResult<void> TextIndex::choosePrefix(std::string_view uri) {
    if (!uriPrefix_.empty()) return {};
    const std::size_t slash = uri.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == uri.size()) return {};
    IndexStatement insert;
    int status = insert.prepare(connection_, "INSERT OR REPLACE INTO properties (name, value) VALUES ('documentPrefix', ?1)");
    if (status == SQLITE_OK) status = insert.start().bind(1, uri.substr(0, slash + 1)).run();
    if (status != SQLITE_DONE) return failure(status, "adding a document");
    uriPrefix_ = std::string(uri.substr(0, slash + 1));
    prefixPending_ = true;
    return {};
}

TextIndexResult<void> TextIndex::loadPrefix() {
    IndexStatement read;
    int status = read.prepare(connection_, "SELECT value FROM properties WHERE name = 'documentPrefix'");
    if (status != SQLITE_OK) return failure(status, "reading the index's properties");
    status = read.step();
    if (status == SQLITE_ROW) uriPrefix_ = std::string(read.text(0));
    else if (status != SQLITE_DONE) return failure(status, "reading the index's properties");
    return {};
}

// Files of format 3 hold every URI whole: they are rewritten in the stored
// form in one transaction (a crash leaves the file as it was), then the
// file is rewritten compactly.
TextIndexResult<void> TextIndex::shortenUris() {
    if (storedFormat(connection_) == kFormat) return loadPrefix();
    if (auto result = execute("BEGIN IMMEDIATE", "updating the index"); !result) return result;
    IndexStatement read, write;
    int status = read.prepare(connection_, "SELECT id, uri FROM documents WHERE id > ?1 ORDER BY id LIMIT 512");
    if (status == SQLITE_OK) status = write.prepare(connection_, "UPDATE documents SET uri = ?2 WHERE id = ?1");
    if (status != SQLITE_OK) return rollback(failure(status, "updating the index"));
    // Marked URIs first, so that no shortened one can meet an unmarked twin.
    for (const bool marked : {true, false}) {
        for (int64_t after = 0;;) {
            std::vector<std::pair<int64_t, std::string>> rows;
            read.start().bind(1, after);
            while ((status = read.step()) == SQLITE_ROW) rows.emplace_back(read.integer(0), std::string(read.text(1)));
            if (status != SQLITE_DONE) return rollback(failure(status, "updating the index"));
            if (rows.empty()) break;
            after = rows.back().first;
            for (const auto& [id, uri] : rows) {
                if (auto chosen = choosePrefix(uri); !chosen) return rollback(chosen.error());
                const bool isMarked = !uri.empty() && (uri.front() == kShortened || uri.front() == kEscaped);
                if (isMarked != marked) continue;
                const std::string stored = storedUri(uri);
                if (stored == uri) continue;
                status = write.start().bind(1, id).bind(2, stored).run();
                if (status != SQLITE_DONE) return rollback(failure(status, "updating the index"));
            }
        }
    }
    const std::string upgrade = std::string("UPDATE properties SET value = '") + kFormat + "' WHERE name = 'format'";
    if (auto result = execute(upgrade, "updating the index"); !result) return rollback(result.error());
    read.start();
    write.start();
    if (auto result = execute("COMMIT", "updating the index"); !result) return rollback(result.error());
    prefixPending_ = false;
    return execute("VACUUM", "updating the index");
}

TextIndexResult<TextIndexSearchEnd> TextIndex::search(std::string_view text,
                                                      const SearchCancellation& cancellation,
                                                      const BatchHandler& handler,
                                                      const TextIndexSearchOptions& options) {
    const std::optional<std::string> expression = MatchExpression::build(text, *tokenizer_);
    if (!expression) return TextIndexSearchEnd::finished;
    const std::size_t batchSize = std::max<std::size_t>(options.batchSize, 1);
    search_.start().bind(1, *expression);
    bool done = false;
    while (!done) {
        if (cancellation.isCancelled()) {
            search_.start();
            return TextIndexSearchEnd::cancelled;
        }
        std::vector<std::string> batch;
        const auto deadline = std::chrono::steady_clock::now() + options.passTimeLimit;
        while (batch.size() < batchSize) {
            const int status = search_.step();
            if (status == SQLITE_DONE) {
                done = true;
                break;
            }
            if (status != SQLITE_ROW) {
                TextIndexError error = failure(status, "searching the index");
                search_.start();
                return error;
            }
            batch.push_back(keepsText_ ? std::string(search_.text(0)) : documentUri(search_.text(0)));
            if (std::chrono::steady_clock::now() >= deadline) break;
        }
        if (done && batch.empty()) break;
        handler(std::move(batch));
    }
    search_.start();
    return TextIndexSearchEnd::finished;
}

}  // namespace tallowmere::textindex
