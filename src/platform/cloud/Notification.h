#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/cloud/DatabaseScope.h"
#include "platform/cloud/FieldValue.h"
#include "platform/cloud/RecordID.h"

namespace tallowmere::cloud {

// A push of a query subscription: which subscription fired for which record,
// the record's desired fields and the filled-in alert.
struct Notification {
    std::string subscriptionID;
    DatabaseScope databaseScope = DatabaseScope::publicScope;
    RecordID recordID;
    std::map<std::string, FieldValue> recordFields;
    std::optional<std::string> alertTitle;
    std::optional<std::string> alertBody;
    std::optional<std::string> soundName;
    std::optional<std::string> category;
    bool contentAvailable = false;
    bool mutableContent = false;
};

}  // namespace tallowmere::cloud
