#include "platform/cloud/Predicate.h"

#include <algorithm>

namespace tallowmere::cloud {

Predicate Predicate::all() { return Predicate(); }

Predicate Predicate::equals(std::string key, FieldValue value) {
    Predicate predicate;
    predicate.kind_ = Kind::fieldEquals;
    predicate.key_ = std::move(key);
    predicate.value_ = std::move(value);
    return predicate;
}

Predicate Predicate::in(std::string key, std::vector<std::string> values) {
    Predicate predicate;
    predicate.kind_ = Kind::fieldIn;
    predicate.key_ = std::move(key);
    predicate.values_ = std::move(values);
    return predicate;
}

Predicate Predicate::recordIDEquals(RecordID recordID) {
    Predicate predicate;
    predicate.kind_ = Kind::recordIDEquals;
    predicate.recordID_ = std::move(recordID);
    return predicate;
}

std::optional<std::string> Predicate::problem() const {
    if (kind_ != Kind::fieldEquals && kind_ != Kind::fieldIn) return std::nullopt;
    if (!Record::isValidFieldName(key_)) return "invalid field name \"" + key_ + "\" in a predicate";
    if (kind_ == Kind::fieldEquals) {
        const bool single = std::holds_alternative<std::string>(value_) ||
                            std::holds_alternative<std::int64_t>(value_) ||
                            std::holds_alternative<double>(value_) || std::holds_alternative<bool>(value_) ||
                            std::holds_alternative<Date>(value_);
        if (!single) return "a predicate compares single values only";
    }
    return std::nullopt;
}

bool Predicate::matches(const Record& record) const {
    switch (kind_) {
        case Kind::all: return true;
        case Kind::recordIDEquals: return record.recordID() == recordID_;
        case Kind::fieldEquals: {
            const FieldValue* field = record.value(key_);
            return field && *field == value_;
        }
        case Kind::fieldIn: {
            const auto text = record.get<std::string>(key_);
            return text && std::find(values_.begin(), values_.end(), *text) != values_.end();
        }
    }
    return false;
}

}  // namespace tallowmere::cloud
