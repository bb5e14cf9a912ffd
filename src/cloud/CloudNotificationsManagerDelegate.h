#pragma once

#include "cloud/NotificationsManagerDelegate.h"

namespace tallowmere {

// The delegate of the cloud's notifications, told besides when the user's
// identity record changed on another device (its feed lists then need a sync).
class CloudNotificationsManagerDelegate : public NotificationsManagerDelegate {
public:
    virtual void userRecordDidChange() = 0;
};

}  // namespace tallowmere
