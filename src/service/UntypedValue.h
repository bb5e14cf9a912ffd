#pragma once

#include <any>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace tallowmere {

class UntypedValue;

// Member names, exact and case-sensitive, to values of mixed kind. Member
// order is neither kept nor significant.
using UntypedDictionary = std::unordered_map<std::string, UntypedValue>;
using UntypedArray = std::vector<UntypedValue>;

// One value of a free-form JSON member: a Boolean, a string, a signed 64-bit
// integer, a double, a dictionary or an array. There is no null. A value of
// any other kind (a date, say) can be held as a foreign value; it is left out
// when the value is written as JSON.
class UntypedValue {
public:
    // Equal to another foreign value of the same type.
    struct Foreign {
        std::any value;
        bool operator==(const Foreign& other) const { return value.type() == other.value.type(); }
    };
    using Storage = std::variant<bool, std::string, std::int64_t, double, UntypedDictionary, UntypedArray, Foreign>;

    UntypedValue(bool value) : storage_(value) {}
    UntypedValue(std::string value) : storage_(std::move(value)) {}
    UntypedValue(const char* value) : storage_(std::string(value)) {}
    UntypedValue(std::int64_t value) : storage_(value) {}
    UntypedValue(int value) : storage_(std::int64_t{value}) {}
    UntypedValue(double value) : storage_(value) {}
    UntypedValue(UntypedDictionary value) : storage_(std::move(value)) {}
    UntypedValue(UntypedArray value) : storage_(std::move(value)) {}
    UntypedValue(Foreign value) : storage_(std::move(value)) {}

    const Storage& storage() const { return storage_; }
    // The value when it is of that kind, else nullptr.
    template <typename Kind>
    const Kind* get() const {
        return std::get_if<Kind>(&storage_);
    }

    bool operator==(const UntypedValue& other) const { return storage_ == other.storage_; }

private:
    Storage storage_;
};

}  // namespace tallowmere
