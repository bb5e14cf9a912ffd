#include "platform/textindex/Fts5TermTokenizer.h"

#include <string_view>

namespace tallowmere::textindex {

namespace {

fts5_api* fts5Api(sqlite3* connection) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

}  // namespace

int Fts5TermTokenizer::registerWith(sqlite3* connection, Binding& binding) {
    fts5_api* api = fts5Api(connection);
    if (api == nullptr || api->iVersion < 2) return SQLITE_ERROR;
    static fts5_tokenizer methods{&create, &destroy, &tokenize};
    return api->xCreateTokenizer(api, kName, &binding, &methods, nullptr);
}

// FTS5 asks for one tokenizer per table; they all share the index's own
// binding.
int Fts5TermTokenizer::create(void* context, const char**, int argumentCount, Fts5Tokenizer** out) {
    if (argumentCount != 0) return SQLITE_ERROR;
    *out = static_cast<Fts5Tokenizer*>(context);
    return SQLITE_OK;
}

void Fts5TermTokenizer::destroy(Fts5Tokenizer*) {}

int Fts5TermTokenizer::tokenize(Fts5Tokenizer* tokenizer, void* context, int, const char* text, int length,
                                int (*token)(void*, int, const char*, int, int, int)) {
    const auto* binding = reinterpret_cast<const Binding*>(tokenizer);
    int status = SQLITE_OK;
    const std::string_view source(text == nullptr ? "" : text,
                                  text == nullptr ? 0 : static_cast<std::size_t>(length));
    std::vector<std::string>* collected = binding->collected;
    binding->terms->tokenize(source, [&](const TermTokenizer::Term& term) {
        if (collected) collected->emplace_back(term.folded);
        status = token(context, 0, term.folded.data(), static_cast<int>(term.folded.size()),
                       static_cast<int>(term.begin), static_cast<int>(term.end));
        return status == SQLITE_OK;
    });
    return status;
}

}  // namespace tallowmere::textindex
