#pragma once

#include <QMetaType>
#include <memory>
#include <vector>

#include "foundation/URL.h"
#include "menus/ShareService.h"

namespace tallowmere {

// What one share entry of the article menu carries as its data: the service
// it stands for and what that service is to share (the article's link).
struct ArticlesTableViewMenuSharingInfo {
    std::shared_ptr<ShareService> service;
    std::vector<URL> items;
};

}  // namespace tallowmere

Q_DECLARE_METATYPE(tallowmere::ArticlesTableViewMenuSharingInfo)
