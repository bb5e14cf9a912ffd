#pragma once

#include <sqlite3.h>

#include "platform/textindex/TermTokenizer.h"

namespace tallowmere::textindex {

// Makes a TermTokenizer available to FTS5 tables of one connection under a
// name, through FTS5's own C interface. The tokenizer must outlive the
// connection.
class Fts5TermTokenizer {
public:
    static constexpr const char* kName = "tallowmere_terms";

    // SQLITE_OK, or the SQLite code of the failure.
    static int registerWith(sqlite3* connection, const TermTokenizer& tokenizer);

private:
    static int create(void* context, const char** arguments, int argumentCount, Fts5Tokenizer** out);
    static void destroy(Fts5Tokenizer* tokenizer);
    static int tokenize(Fts5Tokenizer* tokenizer, void* context, int flags, const char* text, int length,
                        int (*token)(void*, int, const char*, int, int, int));
};

}  // namespace tallowmere::textindex
