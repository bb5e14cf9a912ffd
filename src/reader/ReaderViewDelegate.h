#pragma once

#include <optional>
#include <string>

namespace tallowmere {

// Receives the readable text the page's extraction posted (none when the
// message carried no text).
class ReaderViewDelegate {
public:
    virtual ~ReaderViewDelegate() = default;
    virtual void readerViewDidReceiveReadableArticle(const std::optional<std::string>& text) = 0;
};

}  // namespace tallowmere
