#pragma once

#include <optional>
#include <string>

#include "reader/ReaderViewDelegate.h"

namespace tallowmere {

// A delegate that also follows the pointer over links and the page's
// full-article link.
class ReaderViewMouseDelegate : public ReaderViewDelegate {
public:
    virtual void readerViewDidHoverLink(const std::optional<std::string>& link) = 0;
    virtual void readerViewShowFullArticle() = 0;
};

}  // namespace tallowmere
