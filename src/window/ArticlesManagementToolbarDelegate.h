#pragma once

#include <string>

namespace tallowmere {

// Receives the two commands of the articles toolbar.
class ArticlesManagementToolbarDelegate {
public:
    virtual ~ArticlesManagementToolbarDelegate() = default;
    virtual void articlesMarkAsRead() = 0;
    // The search field's whole text, possibly empty.
    virtual void searchTextDidChange(const std::string& text) = 0;
};

}  // namespace tallowmere
