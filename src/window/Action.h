#pragma once

namespace tallowmere {

// Commands sent to whichever object of the window carries them out, named
// after the operation that receives them.
enum class Action {
    addFeedFromFolder,            // (URL text, folder name text or none)
    showSmartGroup,               // (smart group)
    renameFolderAt,               // (folder's object ID)
    setReaderReadMode,            // (read mode)
    viewArticleInDefaultBrowser,  // (article or none)
};

}  // namespace tallowmere
