#include "cloud/NullLocalNotificationsManager.h"

namespace tallowmere {

void NullLocalNotificationsManager::notifyNewArticle(const Article&) {}

}  // namespace tallowmere
