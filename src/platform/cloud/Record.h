#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/cloud/FieldValue.h"
#include "platform/cloud/RecordID.h"

namespace tallowmere::cloud {

// A record: a type, an ID and typed fields, plus the fields the server sets
// (creation and modification dates, change tag). A record remembers which
// fields were set or removed since it was fetched or made; a save sends only
// those, so a record fetched with a few desired keys can be saved without
// losing the others.
class Record {
public:
    Record(std::string recordType, RecordID recordID);

    const std::string& recordType() const { return recordType_; }
    const RecordID& recordID() const { return recordID_; }

    // Nothing when the field is absent.
    const FieldValue* value(const std::string& key) const;
    // The field only when it holds that kind.
    template <typename T>
    std::optional<T> get(const std::string& key) const {
        const FieldValue* found = value(key);
        if (!found) return std::nullopt;
        if (const T* typed = std::get_if<T>(found)) return *typed;
        return std::nullopt;
    }
    void set(const std::string& key, FieldValue value);
    // Setting nothing removes the field.
    void setOptional(const std::string& key, std::optional<FieldValue> value);
    void remove(const std::string& key);

    const std::map<std::string, FieldValue>& fields() const { return fields_; }
    const std::set<std::string>& changedKeys() const { return changedKeys_; }

    const std::optional<Date>& creationDate() const { return creationDate_; }
    const std::optional<Date>& modificationDate() const { return modificationDate_; }
    // Nothing for a record never saved.
    const std::optional<std::string>& recordChangeTag() const { return changeTag_; }

    // For backings: the state of a record as the server holds it.
    void setServerFields(Date creationDate, Date modificationDate, std::string changeTag);
    void setFieldsFromServer(std::map<std::string, FieldValue> fields);

    // Field names: letters, digits and underscore, 1 to 255 of them, not
    // starting with a digit.
    static bool isValidFieldName(std::string_view name);

private:
    std::string recordType_;
    RecordID recordID_;
    std::map<std::string, FieldValue> fields_;
    std::set<std::string> changedKeys_;
    std::optional<Date> creationDate_;
    std::optional<Date> modificationDate_;
    std::optional<std::string> changeTag_;
};

}  // namespace tallowmere::cloud
