#pragma once

#include "store/NewsletterType.h"

namespace tallowmere {

class PreferencesNotificationsCellView;

// Hears the choices made in the cells of the notifications pane's table.
class PreferencesNotificationsCellViewDelegate {
public:
    virtual ~PreferencesNotificationsCellViewDelegate() = default;
    virtual void notificationUpdated(PreferencesNotificationsCellView& cell, bool enabled) = 0;
    virtual void newsletterUpdated(PreferencesNotificationsCellView& cell, NewsletterType type) = 0;
};

}  // namespace tallowmere
