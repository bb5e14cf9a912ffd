#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "feeds/OPMLError.h"
#include "feeds/OPMLOutline.h"

namespace tallowmere {

// Writes the sidebar tree as a subscription list: <opml version="1.0"> with
// one body and no head; a folder is an outline with "text" holding its feeds,
// a feed an outline with "text", "type" = "rss" and "xmlUrl" in that order,
// any other node an outline with "text". Pretty-printed UTF-8.
class OPMLWriter {
public:
    // The whole document.
    static std::string serialize(const std::vector<OPMLOutline>& outlines);
    // Writes the document to a temporary file beside `file`, flushes it to the
    // disk and renames it into place, so `file` is either the old file or the
    // whole new one, never a part. Nothing on success.
    static std::optional<OPMLError> write(const std::vector<OPMLOutline>& outlines, const std::filesystem::path& file);
    // The same for a document already made.
    static std::optional<OPMLError> writeAtomically(const std::string& data, const std::filesystem::path& file);
};

}  // namespace tallowmere
