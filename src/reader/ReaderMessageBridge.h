#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

namespace tallowmere {

// The object our page scripts post their named messages to, over the web
// channel of the scripts' own world (pages' scripts cannot reach it).
class ReaderMessageBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // A body that is not a string arrives as none.
    static std::optional<QString> stringBody(const QVariant& body);

public Q_SLOTS:
    void post(const QString& name, const QVariant& body);

Q_SIGNALS:
    void messageReceived(const QString& name, const std::optional<QString>& body);
};

}  // namespace tallowmere
