#include "support/ui/FakeNotificationServer.h"

#include <QDBusArgument>
#include <QDBusMetaType>

#include "platform/desktop/DesktopNotificationCenter.h"

namespace tallowmere::test {

using desktop::DesktopNotificationCenter;

FakeNotificationServer::FakeNotificationServer(const QString& connectionName, QStringList capabilities)
    : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)),
      capabilities_(std::move(capabilities)) {
    desktop::NotificationImageData::registerType();
    connection_.registerVirtualObject(DesktopNotificationCenter::kPath, this);
    registered_ = connection_.registerService(DesktopNotificationCenter::kService);
}

FakeNotificationServer::~FakeNotificationServer() {
    connection_.unregisterService(DesktopNotificationCenter::kService);
    connection_.unregisterObject(DesktopNotificationCenter::kPath);
    QDBusConnection::disconnectFromBus(connection_.name());
}

void FakeNotificationServer::invokeAction(uint id, const QString& action) {
    emitSignal(QStringLiteral("ActionInvoked"), {id, action});
}

void FakeNotificationServer::closeNotification(uint id, uint reason) {
    emitSignal(QStringLiteral("NotificationClosed"), {id, reason});
}

void FakeNotificationServer::emitSignal(const QString& name, const QList<QVariant>& arguments) {
    auto signal = QDBusMessage::createSignal(DesktopNotificationCenter::kPath, DesktopNotificationCenter::kInterface, name);
    signal.setArguments(arguments);
    connection_.send(signal);
}

bool FakeNotificationServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.interface() != QLatin1String(DesktopNotificationCenter::kInterface)) return false;
    const QString member = message.member();
    if (member == QLatin1String("GetCapabilities")) {
        ++capabilityRequests_;
        connection.send(message.createReply(QVariant(capabilities_)));
    } else if (member == QLatin1String("Notify")) {
        connection.send(notify(message));
    } else if (member == QLatin1String("CloseNotification")) {
        closed_.push_back(message.arguments().value(0).toUInt());
        connection.send(message.createReply());
    } else {
        return false;
    }
    return true;
}

QDBusMessage FakeNotificationServer::notify(const QDBusMessage& message) {
    if (failNotify_) return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), "refused");
    const auto arguments = message.arguments();
    if (arguments.size() != 8) return message.createErrorReply(QDBusError::InvalidArgs, "eight arguments expected");
    Notified notified;
    notified.id = nextID_++;
    notified.appName = arguments[0].toString();
    notified.summary = arguments[3].toString();
    notified.body = arguments[4].toString();
    notified.actions = arguments[5].toStringList();
    notified.hints = qdbus_cast<QVariantMap>(arguments[6]);
    notified.timeout = arguments[7].toInt();
    const auto image = notified.hints.find(QStringLiteral("image-data"));
    if (image != notified.hints.end()) {
        desktop::NotificationImageData data;
        if (image->userType() == qMetaTypeId<QDBusArgument>()) {
            image->value<QDBusArgument>() >> data;
        } else {
            data = image->value<desktop::NotificationImageData>();
        }
        notified.image = data;
    }
    notified_.push_back(notified);
    return message.createReply(QVariant(notified.id));
}

QString FakeNotificationServer::introspect(const QString&) const {
    return QStringLiteral(
        "<interface name=\"org.freedesktop.Notifications\">"
        "<method name=\"GetCapabilities\"><arg type=\"as\" direction=\"out\"/></method>"
        "<method name=\"Notify\"><arg type=\"s\"/><arg type=\"u\"/><arg type=\"s\"/><arg type=\"s\"/>"
        "<arg type=\"s\"/><arg type=\"as\"/><arg type=\"a{sv}\"/><arg type=\"i\"/>"
        "<arg type=\"u\" direction=\"out\"/></method>"
        "<method name=\"CloseNotification\"><arg type=\"u\"/></method>"
        "<signal name=\"ActionInvoked\"><arg type=\"u\"/><arg type=\"s\"/></signal>"
        "<signal name=\"NotificationClosed\"><arg type=\"u\"/><arg type=\"u\"/></signal>"
        "</interface>");
}

}  // namespace tallowmere::test
