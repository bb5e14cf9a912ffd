#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Reads a document's bytes as text the way browsers read the web: the
// character set comes from a byte-order mark, else from the HTTP Content-Type
// (for text/* and application/*+xml answers), else from the XML declaration,
// else UTF-8. "ISO-8859-1" and "US-ASCII" are read as Windows-1252. Bytes that
// do not decode become U+FFFD instead of failing the whole document.
class DocumentCharset {
public:
    // The charset an HTTP Content-Type names, when that type is allowed to
    // override the document's own declaration; lower-case.
    static std::optional<std::string> fromContentType(std::string_view contentType);
    // The encoding an XML declaration at the start names, if any; lower-case.
    static std::optional<std::string> declaredInXml(std::string_view bytes);

    // The text as UTF-8 without a byte-order mark; nothing when the bytes can
    // be read unchanged (valid UTF-8 without a mark that should be UTF-8).
    static std::optional<std::string> toUTF8(std::string_view bytes,
                                             const std::optional<std::string>& httpCharset);
    // Invalid UTF-8 sequences replaced by U+FFFD; nothing when all is valid.
    static std::optional<std::string> repairedUTF8(std::string_view bytes);
};

}  // namespace tallowmere::feedkit
