#pragma once

#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/cloud/FieldValue.h"
#include "platform/cloud/Notification.h"
#include "platform/cloud/RecordID.h"

namespace tallowmere::cloud {

// A push as the program hands it around: a JSON payload that the layer
// writes from a notification and reads back, so a push can be kept (in a
// desktop notification's user info, say) and handled later. Payloads of any
// other origin read as a notification without subscription or record.
struct QueryNotification {
    static constexpr const char* subscriptionIDKey = "subscriptionID";
    static constexpr const char* recordNameKey = "recordName";
    static constexpr const char* zoneNameKey = "zoneName";
    static constexpr const char* recordFieldsKey = "recordFields";
    static constexpr const char* alertKey = "alert";
    static constexpr const char* alertTitleKey = "title";
    static constexpr const char* alertBodyKey = "body";
    static constexpr const char* soundKey = "sound";

    std::optional<std::string> subscriptionID;
    std::optional<RecordID> recordID;
    // The subscription's desired keys of the record, with their kinds.
    std::map<std::string, FieldValue> recordFields;
    std::optional<std::string> alertTitle;
    std::optional<std::string> alertBody;
    std::optional<std::string> soundName;

    // Keys of the wrong kind read as absent; nothing here throws.
    static QueryNotification fromPayload(const nlohmann::json& payload);
    static nlohmann::json payload(const Notification& notification);

    // The field only when it holds that kind.
    template <typename T>
    std::optional<T> field(const std::string& key) const {
        const auto found = recordFields.find(key);
        if (found == recordFields.end()) return std::nullopt;
        if (const T* typed = std::get_if<T>(&found->second)) return *typed;
        return std::nullopt;
    }
};

}  // namespace tallowmere::cloud
