#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <map>
#include <vector>

#include "platform/notifications/UserNotificationCenter.h"

namespace tallowmere::desktop {

// The desktop's notification server (org.freedesktop.Notifications) as the
// program's notification centre. A click ("default" action) goes to the
// handler of the notification's own delivery, on the thread of the centre;
// the centre forgets a notification once the server closes it, and closes
// the ones still shown when it ends, so no click outlives the program.
class DesktopNotificationCenter final : public QObject, public notifications::UserNotificationCenter {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";
    static constexpr const char* kDefaultAction = "default";
    static constexpr const char* kDesktopEntry = "tallowmere";
    // The desktop's sound for what the program calls "default".
    static constexpr const char* kNewMessageSound = "message-new-instant";
    // Longer texts are cut: a notification is no place for a whole article.
    static constexpr int kMaximumBodyLength = 300;

    // The label of the click action; few servers show it.
    explicit DesktopNotificationCenter(QDBusConnection connection, QString actionLabel = QStringLiteral("Show"),
                                       QObject* parent = nullptr);
    ~DesktopNotificationCenter() override;

    void deliver(notifications::UserNotification notification, ActivationHandler onActivation,
                 DeliveryCompletion completion = {}) override;
    void remove(notifications::NotificationID id) override;

    // The text as the server is sent it: at most kMaximumBodyLength
    // characters, never split inside one, and escaped when the server reads
    // markup in bodies.
    static QString body(const std::string& text, bool markup);
    // The hints of a notification (desktop entry, image, sound).
    static QVariantMap hints(const notifications::UserNotification& notification);

    // The notifications shown and not yet closed.
    std::size_t shownCount() const { return shown_.size(); }

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    struct Delivery {
        notifications::UserNotification notification;
        ActivationHandler onActivation;
        DeliveryCompletion completion;
    };
    struct Shown {
        nlohmann::json userInfo;
        ActivationHandler onActivation;
    };
    enum class Capabilities { unknown, asking, known };

    void enqueue(Delivery delivery);
    void askCapabilities();
    void send(Delivery delivery);
    void reportFailure(const QString& errorName, const QString& message);

    QDBusConnection connection_;
    QString actionLabel_;
    Capabilities capabilities_ = Capabilities::unknown;
    bool bodyMarkup_ = false;
    bool warnedUnavailable_ = false;
    std::vector<Delivery> waiting_;
    std::map<notifications::NotificationID, Shown> shown_;
};

}  // namespace tallowmere::desktop
