#pragma once

namespace tallowmere {

// Commands sent to whichever object of the window carries them out, named
// after the operation that receives them. The comment says what object the
// receiver reads; any other type reads as none.
enum class Action {
    addFeed,                              // —
    addFeedFromFolder,                    // (URL text, folder name text or none)
    refreshFeeds,                         // —
    importOPML,                           // —
    exportOPML,                           // —
    showNextFeed,                         // —
    showPreviousFeed,                     // —
    showSmartGroup,                       // (smart group)
    setArticlesFilter,                    // (the menu entry's filter, or none for all)
    showNextArticle,                      // —
    showPreviousArticle,                  // —
    markSelectedArticleAsUnread,          // —
    markSelectedArticleAsStarred,         // —
    showArticlesSearchField,              // —
    setReaderReadMode,                    // (read mode)
    showFullArticle,                      // —
    viewSelectedArticleInDefaultBrowser,  // —
    viewArticleInDefaultBrowser,          // (article or none)
    copyArticleURL,                       // —
    showOldestUnreadArticlesFirst,        // —
    showNewestUnreadArticlesFirst,        // —
    toggleGroupArticlesByFeed,            // —
    articlesMarkAsRead,                   // —
    searchTextDidChangeWithText,          // (text)
    renameFolderAt,                       // (outline row, int)
    resetFeedsSorting,                    // —
    reloadArticlesWithForce,              // (bool)
};

}  // namespace tallowmere
