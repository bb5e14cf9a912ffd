#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/FieldValue.h"
#include "platform/cloud/Record.h"
#include "platform/cloud/RecordID.h"

namespace tallowmere::cloud {

// Which records a query or a subscription is about: all of a type, those
// whose field equals a value, those whose text field is one of a list, or
// the one record of an ID.
class Predicate {
public:
    enum class Kind { all, fieldEquals, fieldIn, recordIDEquals };

    static Predicate all();
    // The value must be a single value (text, number, Boolean, date).
    static Predicate equals(std::string key, FieldValue value);
    static Predicate in(std::string key, std::vector<std::string> values);
    static Predicate recordIDEquals(RecordID recordID);

    Kind kind() const { return kind_; }
    const std::string& key() const { return key_; }
    const FieldValue& value() const { return value_; }
    const std::vector<std::string>& values() const { return values_; }
    const RecordID& recordID() const { return recordID_; }

    // Nothing when the predicate can be evaluated, else what is wrong with it.
    std::optional<std::string> problem() const;
    bool matches(const Record& record) const;

    bool operator==(const Predicate&) const = default;

private:
    Kind kind_ = Kind::all;
    std::string key_;
    FieldValue value_;
    std::vector<std::string> values_;
    RecordID recordID_;
};

}  // namespace tallowmere::cloud
