#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/graph/GraphError.h"
#include "platform/graph/Value.h"

struct sqlite3;

namespace tallowmere::graph {

// The stored form of large texts: a marker byte, the text's length as a
// variable-length number, then the text as a raw deflate stream. A text
// column holding a blob always holds this form; one holding text holds the
// text itself (short texts, and rows written before texts were compressed).
//
// A text that repeats much of another one kept beside it (an article's text
// and the markup it was taken from) is compressed with that other text as
// the stream's preset dictionary, and the dictionary's Adler-32 follows the
// length: read against any other text it is damage, never a wrong text.
class CompressedText {
public:
    // Texts shorter than this are stored as they are: their stream would
    // hardly be smaller.
    static constexpr std::size_t minimumLength = 64;
    // Refused when read: more than SQLite itself stores in one value.
    static constexpr std::uint64_t largestText = 1'000'000'000;

    // The compressed form, or nothing when it would not be smaller. An empty
    // dictionary gives the form that stands on its own.
    static std::optional<Bytes> encode(std::string_view text, std::string_view dictionary = {});
    // The text back; an error for bytes that are not an intact stored form,
    // or that were compressed against another dictionary than the one given
    // (none given: only forms that stand on their own decode).
    static Result<std::string> decode(std::span<const std::uint8_t> stored,
                                      std::optional<std::string_view> dictionary = std::nullopt);
    // Adds stored_text(value [, dictionary]) to the connection: the text of
    // a stored form, any other value as it is (NULL for a damaged form), for
    // SQL that filters or sorts on a large text. The dictionary is given as
    // stored, in any of its forms.
    static bool registerWith(sqlite3* db);
};

}  // namespace tallowmere::graph
