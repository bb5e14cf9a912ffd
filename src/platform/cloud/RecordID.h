#pragma once

#include <compare>
#include <string>

namespace tallowmere::cloud {

// The name of a record within its zone. Only the default zone exists.
struct RecordID {
    static constexpr const char* defaultZoneName = "_defaultZone";

    RecordID() = default;
    explicit RecordID(std::string recordName, std::string zoneName = defaultZoneName)
        : recordName(std::move(recordName)), zoneName(std::move(zoneName)) {}

    std::string recordName;
    std::string zoneName = defaultZoneName;

    auto operator<=>(const RecordID&) const = default;
    bool operator==(const RecordID&) const = default;
};

}  // namespace tallowmere::cloud
