#include "platform/cloud/QueryNotification.h"

#include "platform/cloud/FieldJson.h"

namespace tallowmere::cloud {
namespace {

using nlohmann::json;

std::optional<std::string> text(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<RecordID> payloadRecordID(const json& payload) {
    const auto name = text(payload, QueryNotification::recordNameKey);
    if (!name) return std::nullopt;
    const auto zone = text(payload, QueryNotification::zoneNameKey);
    return RecordID(*name, zone.value_or(RecordID::defaultZoneName));
}

std::map<std::string, FieldValue> payloadRecordFields(const json& payload) {
    std::map<std::string, FieldValue> fields;
    const auto found = payload.find(QueryNotification::recordFieldsKey);
    if (found == payload.end() || !found->is_object()) return fields;
    for (const auto& [key, encoded] : found->items()) {
        if (auto value = FieldJson::decodeValue(encoded)) fields.emplace(key, std::move(*value));
    }
    return fields;
}

}  // namespace

QueryNotification QueryNotification::fromPayload(const json& payload) {
    QueryNotification notification;
    if (!payload.is_object()) return notification;
    notification.subscriptionID = text(payload, subscriptionIDKey);
    notification.recordID = payloadRecordID(payload);
    notification.recordFields = payloadRecordFields(payload);
    notification.soundName = text(payload, soundKey);
    const auto alert = payload.find(alertKey);
    if (alert != payload.end() && alert->is_object()) {
        notification.alertTitle = text(*alert, alertTitleKey);
        notification.alertBody = text(*alert, alertBodyKey);
    }
    return notification;
}

json QueryNotification::payload(const Notification& notification) {
    json fields = json::object();
    for (const auto& [key, value] : notification.recordFields) fields[key] = FieldJson::encode(value);
    json out = {{subscriptionIDKey, notification.subscriptionID},
                {recordNameKey, notification.recordID.recordName},
                {zoneNameKey, notification.recordID.zoneName},
                {recordFieldsKey, std::move(fields)}};
    if (notification.alertTitle || notification.alertBody) {
        json alert = json::object();
        if (notification.alertTitle) alert[alertTitleKey] = *notification.alertTitle;
        if (notification.alertBody) alert[alertBodyKey] = *notification.alertBody;
        out[alertKey] = std::move(alert);
    }
    if (notification.soundName) out[soundKey] = *notification.soundName;
    return out;
}

}  // namespace tallowmere::cloud
