#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <vector>

#include "platform/desktop/NotificationImageData.h"

namespace tallowmere::test {

// A desktop notification server on its own connection to the test's
// private bus: records Notify and CloseNotification, answers the
// capabilities it is given, and sends the clicks and closes a test asks for.
class FakeNotificationServer final : public QDBusVirtualObject {
public:
    struct Notified {
        uint id = 0;
        QString appName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        std::optional<desktop::NotificationImageData> image;
    };

    explicit FakeNotificationServer(const QString& connectionName,
                                    QStringList capabilities = {QStringLiteral("actions"), QStringLiteral("body"),
                                                                QStringLiteral("body-markup")});
    ~FakeNotificationServer() override;
    bool registered() const { return registered_; }

    const std::vector<Notified>& notified() const { return notified_; }
    const std::vector<uint>& closed() const { return closed_; }
    int capabilityRequests() const { return capabilityRequests_; }
    // Notify answers with an error from now on.
    void failNotify() { failNotify_ = true; }

    // The user clicked the notification (the "default" action by default).
    void invokeAction(uint id, const QString& action = QStringLiteral("default"));
    // The server took the notification away (2: dismissed by the user).
    void closeNotification(uint id, uint reason = 2);

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

private:
    QDBusMessage notify(const QDBusMessage& message);
    void emitSignal(const QString& name, const QList<QVariant>& arguments);

    QDBusConnection connection_;
    QStringList capabilities_;
    bool registered_ = false;
    bool failNotify_ = false;
    uint nextID_ = 1;
    int capabilityRequests_ = 0;
    std::vector<Notified> notified_;
    std::vector<uint> closed_;
};

}  // namespace tallowmere::test
