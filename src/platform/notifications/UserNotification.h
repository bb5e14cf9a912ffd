#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tallowmere::notifications {

// An image shown with a notification: rows from the top, four bytes per
// pixel in the order red, green, blue, alpha, alpha not premultiplied.
struct NotificationImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    bool operator==(const NotificationImage&) const = default;
};

// What the user is told, and what comes back when the notification is clicked.
struct UserNotification {
    std::optional<std::string> title;
    // Plain text; the centre escapes or shortens it as its server needs.
    std::optional<std::string> informativeText;
    // Handed back unchanged on activation.
    nlohmann::json userInfo = nlohmann::json::object();
    std::optional<NotificationImage> contentImage;
    // "default" asks for the desktop's sound of a new message.
    std::optional<std::string> soundName;
};

}  // namespace tallowmere::notifications
