#include "cloud/NullLocalNotificationsManager.h"

namespace tallowmere {

void NullLocalNotificationsManager::notifyNewArticles(const Article&) {}

}  // namespace tallowmere
