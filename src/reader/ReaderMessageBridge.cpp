#include "reader/ReaderMessageBridge.h"

namespace tallowmere {

std::optional<QString> ReaderMessageBridge::stringBody(const QVariant& body) {
    if (body.typeId() != QMetaType::QString) return std::nullopt;
    return body.toString();
}

void ReaderMessageBridge::post(const QString& name, const QVariant& body) { Q_EMIT messageReceived(name, stringBody(body)); }

}  // namespace tallowmere
