#pragma once

#include <optional>

namespace tallowmere {

// How the reader shows an article: the page built from the stored text, the
// article's own web page, or the built page with text read from the web page.
enum class ReaderReadMode { preview = 0, web = 1, readable = 2 };

// Nothing for a value outside 0 to 2.
inline std::optional<ReaderReadMode> readerReadModeFromRaw(long long raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<ReaderReadMode>(raw);
}

// The toolbar's segment of a mode: 0 stands for preview and readable, 1 for web.
inline int readerSegment(ReaderReadMode mode) { return mode == ReaderReadMode::readable ? 0 : static_cast<int>(mode); }

}  // namespace tallowmere
