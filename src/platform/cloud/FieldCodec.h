#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/cloud/FieldValue.h"

namespace tallowmere::cloud {

// The compact binary form in which the embedded engine stores a record's
// fields: fast for long number lists, and every kind kept apart. Asset
// fields hold the stored asset's key in place of a path.
class FieldCodec {
public:
    static std::string encode(const std::map<std::string, FieldValue>& fields);
    // Nothing when the bytes are not a valid encoding.
    static std::optional<std::map<std::string, FieldValue>> decode(const void* bytes, std::size_t size);

    static std::int64_t microseconds(Date date);
    static Date date(std::int64_t microseconds);
};

}  // namespace tallowmere::cloud
