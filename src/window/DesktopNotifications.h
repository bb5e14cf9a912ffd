#pragma once

#include <QDBusConnection>
#include <memory>
#include <optional>

#include "platform/desktop/DesktopNotificationCenter.h"
#include "platform/notifications/UserNotification.h"
#include "store/Feed.h"

namespace tallowmere {

class NodesSource;

// Puts the desktop's notification centre in place for the run, with the
// notifications of new articles that show their feed's icon.
class DesktopNotifications {
public:
    // The feed's sidebar icon at the size, as a notification carries it.
    static std::optional<notifications::NotificationImage> feedIcon(NodesSource& nodes, const Feed& feed, int size);

    // Until uninstall(), which must come while the application object lives.
    static std::shared_ptr<desktop::DesktopNotificationCenter> install(QDBusConnection connection);
    static void uninstall();
};

}  // namespace tallowmere
