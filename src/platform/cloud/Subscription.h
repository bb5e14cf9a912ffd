#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/Predicate.h"

namespace tallowmere::cloud {

// When a query subscription fires (bits, combined).
enum SubscriptionOptions : unsigned {
    firesOnRecordCreation = 1,
    firesOnRecordUpdate = 2,
};

// What a push of a subscription carries. A title or alert key of "%@" is
// filled, placeholder by placeholder, with the text of the named fields of
// the record.
struct NotificationInfo {
    std::optional<std::vector<std::string>> desiredKeys;
    std::optional<std::string> titleLocalizationKey;
    std::vector<std::string> titleLocalizationArgs;
    std::optional<std::string> alertLocalizationKey;
    std::vector<std::string> alertLocalizationArgs;
    std::optional<std::string> soundName;
    std::optional<std::string> category;
    bool shouldSendContentAvailable = false;
    bool shouldSendMutableContent = false;

    bool operator==(const NotificationInfo&) const = default;
};

// A standing query of one account: every save of a matching record by
// another device pushes a notification to the account's running devices.
struct QuerySubscription {
    std::string subscriptionID;
    std::string recordType;
    Predicate predicate = Predicate::all();
    unsigned options = firesOnRecordCreation | firesOnRecordUpdate;
    NotificationInfo notificationInfo;

    bool operator==(const QuerySubscription&) const = default;
};

}  // namespace tallowmere::cloud
