#include "platform/graph/TextFolding.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include <sqlite3.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/text/AsciiText.h"

namespace tallowmere::graph {

namespace {

std::string foldImpl(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    icu::UnicodeString decomposed = nfd->normalize(source, status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) stripped.append(c);
        i += U16_LENGTH(c);
    }
    stripped.foldCase();
    icu::UnicodeString composed = nfc->normalize(stripped, status);
    if (U_FAILURE(status)) composed = stripped;
    std::string out;
    composed.toUTF8String(out);
    return out;
}

// Collators are not shared between threads: one per thread.
icu::Collator* threadCollator() {
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // Without a language (the C/POSIX locale) ICU would order by code
        // point; the root collation is the sensible neutral order then.
        icu::Locale locale = icu::Locale::getDefault();
        if (locale.getLanguage()[0] == '\0' || std::string_view(locale.getVariant()) == "POSIX") locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !c) return std::unique_ptr<icu::Collator>();
        c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    return collator.get();
}

std::string_view textArg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void sqlFold(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string folded = foldImpl(textArg(argv[0]));
    sqlite3_result_text(ctx, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

void sqlCdBegins(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_int(ctx, 0);
    sqlite3_result_int(ctx, TextFolding::beginsWith(textArg(argv[0]), textArg(argv[1])) ? 1 : 0);
}

void sqlBegins(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_int(ctx, 0);
    std::string_view text = textArg(argv[0]);
    std::string_view prefix = textArg(argv[1]);
    sqlite3_result_int(ctx, text.substr(0, prefix.size()) == prefix ? 1 : 0);
}

int sqlCollate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return TextFolding::localizedCompare(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
                                         std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

}  // namespace

std::string TextFolding::fold(std::string_view text) {
    // Plain ASCII folds by lower-casing; skip ICU for the common case.
    if (text::AsciiText::isAscii(text)) return text::AsciiText::lowercased(text);
    return foldImpl(text);
}

bool TextFolding::beginsWith(std::string_view text, std::string_view foldedPrefix) {
    if (foldedPrefix.empty()) return true;
    std::string folded = fold(text);
    return std::string_view(folded).substr(0, foldedPrefix.size()) == foldedPrefix;
}

namespace {

struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// The collator's sort keys of texts, kept per thread: a sort compares each
// text many times (100 000 articles grouped by 1 000 feed names), and
// comparing two keys is a byte compare instead of a full collation.
class SortKeyCache {
public:
    static constexpr std::size_t limit = 16384;

    // Both keys of one comparison stay valid until the next call: the cache is
    // only ever cleared before the first of the two is looked up.
    std::pair<const std::string*, const std::string*> keys(icu::Collator& collator, std::string_view a,
                                                           std::string_view b) {
        if (keys_.size() + 2 > limit) keys_.clear();  // bounded; refilled by the next sort
        const std::string& keyA = key(collator, a);
        const std::string& keyB = key(collator, b);
        return {&keyA, &keyB};
    }

private:
    const std::string& key(icu::Collator& collator, std::string_view text) {
        if (auto found = keys_.find(text); found != keys_.end()) return found->second;
        icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
        std::string key(64, '\0');
        int32_t length = collator.getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
        if (length > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<std::size_t>(length));
            length = collator.getSortKey(unicode, reinterpret_cast<uint8_t*>(key.data()), length);
        }
        key.resize(static_cast<std::size_t>(length));
        return keys_.emplace(std::string(text), std::move(key)).first->second;
    }

    std::unordered_map<std::string, std::string, TransparentHash, std::equal_to<>> keys_;
};

}  // namespace

int TextFolding::localizedCompare(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    icu::Collator* collator = threadCollator();
    if (!collator) return a.compare(b) < 0 ? -1 : 1;
    thread_local SortKeyCache cache;
    const auto [keyA, keyB] = cache.keys(*collator, a, b);
    // Sort keys compare as the collator does; both end in the same terminator.
    const int order = keyA->compare(*keyB);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool TextFolding::registerWith(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function(db, "cd_fold", 1, flags, nullptr, sqlFold, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function(db, "cd_begins", 2, flags, nullptr, sqlCdBegins, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function(db, "begins", 2, flags, nullptr, sqlBegins, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_collation(db, "LOCALIZED_STANDARD", SQLITE_UTF8, nullptr, sqlCollate) == SQLITE_OK;
}

}  // namespace tallowmere::graph
