#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

namespace tallowmere {

// The unread badge on the program's launcher: docks that follow the desktop
// launcher entry protocol draw the count over the icon. The label is the
// count's digits; no label hides the badge.
class LauncherBadge {
public:
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* kSignal = "Update";
    static constexpr const char* kPath = "/com/canonical/unity/launcherentry/tallowmere";
    static constexpr const char* kApplicationURI = "application://tallowmere.desktop";

    explicit LauncherBadge(QDBusConnection bus);

    const std::optional<QString>& label() const { return label_; }
    // Sends the launcher the count and whether to show it.
    void setLabel(std::optional<QString> label);

private:
    QDBusConnection bus_;
    std::optional<QString> label_;
};

}  // namespace tallowmere
