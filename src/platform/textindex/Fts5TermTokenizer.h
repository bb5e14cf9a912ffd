#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/textindex/TermTokenizer.h"

namespace tallowmere::textindex {

// Makes a TermTokenizer available to FTS5 tables of one connection under a
// name, through FTS5's own C interface.
class Fts5TermTokenizer {
public:
    static constexpr const char* kName = "tallowmere_terms";

    // What the tables of a connection tokenize with. While `collected` is
    // set, the terms of what they tokenize are appended to it as well, so
    // that a document's terms need not be cut out a second time.
    struct Binding {
        const TermTokenizer* terms = nullptr;
        std::vector<std::string>* collected = nullptr;
    };

    // SQLITE_OK, or the SQLite code of the failure. The binding must outlive the connection.
    static int registerWith(sqlite3* connection, Binding& binding);

private:
    static int create(void* context, const char** arguments, int argumentCount, Fts5Tokenizer** out);
    static void destroy(Fts5Tokenizer* tokenizer);
    static int tokenize(Fts5Tokenizer* tokenizer, void* context, int flags, const char* text, int length,
                        int (*token)(void*, int, const char*, int, int, int));
};

}  // namespace tallowmere::textindex
