#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "platform/cloud/FieldValue.h"
#include "platform/cloud/Notification.h"
#include "platform/cloud/Predicate.h"
#include "platform/cloud/Subscription.h"

namespace tallowmere::cloud {

// JSON forms of the layer's values, for what a backing keeps as text
// (subscriptions, pushes, cursors). Kinds are tagged, so a Boolean never
// reads back as a number. Readers give nothing for JSON of another shape.
class FieldJson {
public:
    static nlohmann::json encode(const FieldValue& value);
    static std::optional<FieldValue> decodeValue(const nlohmann::json& json);

    static nlohmann::json encode(const Predicate& predicate);
    static std::optional<Predicate> decodePredicate(const nlohmann::json& json);

    static nlohmann::json encode(const QuerySubscription& subscription);
    static std::optional<QuerySubscription> decodeSubscription(const nlohmann::json& json);

    static nlohmann::json encode(const Notification& notification);
    static std::optional<Notification> decodeNotification(const nlohmann::json& json);
};

}  // namespace tallowmere::cloud
