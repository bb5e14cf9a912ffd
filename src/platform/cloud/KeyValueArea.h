#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/defaults/Value.h"

namespace tallowmere::cloud {

// An account's synced key-value pairs as a backing keeps them.
class KeyValueArea {
public:
    virtual ~KeyValueArea() = default;
    // Nothing when the backing could not be read.
    virtual std::optional<std::map<std::string, defaults::Value>> loadKeyValues() = 0;
    // Nothing removes the key. False when the backing could not be written.
    virtual bool writeKeyValue(const std::string& key, const std::optional<defaults::Value>& value) = 0;
};

}  // namespace tallowmere::cloud
