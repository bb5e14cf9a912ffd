#include "platform/cloud/Record.h"

namespace tallowmere::cloud {

Record::Record(std::string recordType, RecordID recordID)
    : recordType_(std::move(recordType)), recordID_(std::move(recordID)) {}

const FieldValue* Record::value(const std::string& key) const {
    const auto found = fields_.find(key);
    return found == fields_.end() ? nullptr : &found->second;
}

void Record::set(const std::string& key, FieldValue value) {
    fields_.insert_or_assign(key, std::move(value));
    changedKeys_.insert(key);
}

void Record::setOptional(const std::string& key, std::optional<FieldValue> value) {
    if (value) {
        set(key, std::move(*value));
    } else {
        remove(key);
    }
}

void Record::remove(const std::string& key) {
    fields_.erase(key);
    changedKeys_.insert(key);
}

void Record::setServerFields(Date creationDate, Date modificationDate, std::string changeTag) {
    creationDate_ = creationDate;
    modificationDate_ = modificationDate;
    changeTag_ = std::move(changeTag);
}

void Record::setFieldsFromServer(std::map<std::string, FieldValue> fields) {
    fields_ = std::move(fields);
    changedKeys_.clear();
}

bool Record::isValidFieldName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    if (name.front() >= '0' && name.front() <= '9') return false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '_') return false;
    }
    return true;
}

}  // namespace tallowmere::cloud
