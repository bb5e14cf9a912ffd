#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/cloud/Record.h"

namespace tallowmere::cloud {

// What every backing refuses before a record is saved.
class RecordChecks {
public:
    static constexpr std::size_t maximumRecordBytes = 16 * 1024 * 1024;

    // Nothing when the record may be saved, else what is wrong with its
    // name, type or field names.
    static std::optional<std::string> problem(const Record& record);
    // The bytes the record's fields take at least; enough to refuse an
    // oversized record before copying it around.
    static std::size_t leastSize(const Record& record);
};

}  // namespace tallowmere::cloud
