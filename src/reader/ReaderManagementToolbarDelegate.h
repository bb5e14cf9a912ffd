#pragma once

#include "reader/ReaderReadMode.h"

namespace tallowmere {

// What the reader toolbar reports: every user action, none of the article's state.
class ReaderManagementToolbarDelegate {
public:
    virtual ~ReaderManagementToolbarDelegate() = default;
    virtual void readerMarkAsStarred(bool starred) = 0;
    virtual void readerShare() = 0;
    virtual void readerShowNextArticle() = 0;
    virtual void readerSetReadMode(ReaderReadMode mode) = 0;
};

}  // namespace tallowmere
