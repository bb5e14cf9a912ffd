#include "platform/desktop/DesktopNotificationCenter.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QThread>

#include "foundation/Logger.h"
#include "platform/desktop/NotificationImageData.h"

namespace tallowmere::desktop {
namespace {

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QString();
}

// The first `count` characters as a reader counts them.
QString leadingCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int characters = 0;
    while (characters < count && finder.toNextBoundary() != -1) ++characters;
    if (finder.position() == -1) return text;
    return text.left(finder.position());
}

QString escaped(QString text) {
    text.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    text.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    text.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return text;
}

bool meansNoServer(const QString& errorName) {
    return errorName == QDBusError::errorString(QDBusError::ServiceUnknown) ||
           errorName == QDBusError::errorString(QDBusError::NoServer) ||
           errorName == QDBusError::errorString(QDBusError::Disconnected);
}

}  // namespace

DesktopNotificationCenter::DesktopNotificationCenter(QDBusConnection connection, QString actionLabel, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), actionLabel_(std::move(actionLabel)) {
    NotificationImageData::registerType();
    connection_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                        SLOT(actionInvoked(uint, QString)));
    connection_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                        SLOT(notificationClosed(uint, uint)));
}

DesktopNotificationCenter::~DesktopNotificationCenter() {
    for (const auto& [id, shown] : shown_) {
        auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        message << static_cast<uint>(id);
        connection_.send(message);
    }
}

void DesktopNotificationCenter::deliver(notifications::UserNotification notification, ActivationHandler onActivation,
                                        DeliveryCompletion completion) {
    Delivery delivery{std::move(notification), std::move(onActivation), std::move(completion)};
    // The maps and the server's answers live on the centre's thread.
    QMetaObject::invokeMethod(
        this, [this, delivery = std::move(delivery)]() mutable { enqueue(std::move(delivery)); },
        Qt::QueuedConnection);
}

void DesktopNotificationCenter::remove(notifications::NotificationID id) {
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (!shown_.erase(id)) return;
            auto message =
                QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
            message << static_cast<uint>(id);
            connection_.send(message);
        },
        QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void DesktopNotificationCenter::enqueue(Delivery delivery) {
    if (capabilities_ == Capabilities::known) {
        send(std::move(delivery));
        return;
    }
    waiting_.push_back(std::move(delivery));
    if (capabilities_ == Capabilities::unknown) askCapabilities();
}

void DesktopNotificationCenter::askCapabilities() {
    capabilities_ = Capabilities::asking;
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        QDBusPendingReply<QStringList> reply = *finished;
        if (reply.isError()) {
            reportFailure(reply.error().name(), reply.error().message());
        } else {
            bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
        }
        capabilities_ = Capabilities::known;
        for (auto& delivery : std::exchange(waiting_, {})) send(std::move(delivery));
    });
}

void DesktopNotificationCenter::send(Delivery delivery) {
    const auto& notification = delivery.notification;
    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << 0U << QString() << text(notification.title)
         << body(notification.informativeText.value_or(""), bodyMarkup_)
         << QStringList{QString::fromLatin1(kDefaultAction), actionLabel_} << hints(notification) << -1;
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, delivery = std::move(delivery)](QDBusPendingCallWatcher* finished) mutable {
                finished->deleteLater();
                QDBusPendingReply<uint> reply = *finished;
                std::optional<notifications::NotificationID> id;
                if (reply.isError()) {
                    reportFailure(reply.error().name(), reply.error().message());
                } else {
                    id = reply.value();
                    shown_[*id] = Shown{std::move(delivery.notification.userInfo), std::move(delivery.onActivation)};
                }
                if (delivery.completion) delivery.completion(id);
            });
}

void DesktopNotificationCenter::reportFailure(const QString& errorName, const QString& message) {
    if (meansNoServer(errorName)) {
        if (std::exchange(warnedUnavailable_, true)) return;
        Logger::warning([] { return std::string("There is no desktop notification server: notifications are not shown"); });
        return;
    }
    Logger::error([&] { return "Notify error: " + errorName.toStdString() + ": " + message.toStdString(); });
}

QString DesktopNotificationCenter::body(const std::string& text, bool markup) {
    const QString cut = leadingCharacters(QString::fromStdString(text), kMaximumBodyLength);
    return markup ? escaped(cut) : cut;
}

QVariantMap DesktopNotificationCenter::hints(const notifications::UserNotification& notification) {
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
    if (notification.contentImage) {
        hints.insert(QStringLiteral("image-data"),
                     QVariant::fromValue(NotificationImageData::fromImage(*notification.contentImage)));
    }
    if (notification.soundName) {
        const QString sound = *notification.soundName == "default" ? QString::fromLatin1(kNewMessageSound)
                                                                    : QString::fromStdString(*notification.soundName);
        hints.insert(QStringLiteral("sound-name"), sound);
    }
    return hints;
}

void DesktopNotificationCenter::actionInvoked(uint id, const QString& action) {
    if (action != QLatin1String(kDefaultAction)) return;
    const auto found = shown_.find(id);
    if (found == shown_.end()) return;
    // Copies: the handler may remove the notification, and with it the entry.
    const nlohmann::json userInfo = found->second.userInfo;
    const ActivationHandler handler = found->second.onActivation;
    if (handler) handler(id, userInfo);
}

void DesktopNotificationCenter::notificationClosed(uint id, uint) { shown_.erase(id); }

}  // namespace tallowmere::desktop
