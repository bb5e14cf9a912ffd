#include "window/DesktopNotifications.h"

#include <QSizeF>

#include "cloud/CenterLocalNotificationsManager.h"
#include "cloud/LocalNotificationsManager.h"
#include "images/NodeIcons.h"
#include "platform/desktop/NotificationImageData.h"
#include "platform/notifications/NullUserNotificationCenter.h"
#include "sources/NodesSource.h"

namespace tallowmere {

std::optional<notifications::NotificationImage> DesktopNotifications::feedIcon(NodesSource& nodes, const Feed& feed,
                                                                              int size) {
    auto image = NodeIcons::iconImage(nodes, feed, QSizeF(size, size));
    if (!image || image->isNull()) return std::nullopt;
    return desktop::NotificationImageData::rgbaImage(*image);
}

std::shared_ptr<desktop::DesktopNotificationCenter> DesktopNotifications::install(QDBusConnection connection) {
    auto center = std::make_shared<desktop::DesktopNotificationCenter>(std::move(connection));
    notifications::UserNotificationCenter::setShared(center);
    CenterLocalNotificationsManager::Collaborators collaborators;
    collaborators.icon = [](const Feed& feed, int size) { return feedIcon(*NodesSource::shared(), feed, size); };
    LocalNotificationsManager::setShared(std::make_shared<CenterLocalNotificationsManager>(std::move(collaborators)));
    return center;
}

void DesktopNotifications::uninstall() {
    notifications::UserNotificationCenter::setShared(std::make_shared<notifications::NullUserNotificationCenter>());
}

}  // namespace tallowmere
