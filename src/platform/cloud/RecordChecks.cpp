#include "platform/cloud/RecordChecks.h"

namespace tallowmere::cloud {
namespace {

std::size_t leastValueSize(const FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return text->size();
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value)) {
        std::size_t size = 0;
        for (const auto& item : *texts) size += item.size();
        return size;
    }
    if (const auto* numbers = std::get_if<std::vector<std::int64_t>>(&value)) return numbers->size() * 8;
    return 8;
}

}  // namespace

std::optional<std::string> RecordChecks::problem(const Record& record) {
    if (record.recordID().zoneName != RecordID::defaultZoneName) return "only the default zone exists";
    if (record.recordID().recordName.empty()) return "a record needs a name";
    if (!Record::isValidFieldName(record.recordType())) return "invalid record type \"" + record.recordType() + "\"";
    for (const auto& key : record.changedKeys()) {
        if (!Record::isValidFieldName(key)) return "invalid field name \"" + key + "\"";
    }
    for (const auto& [key, value] : record.fields()) {
        if (!Record::isValidFieldName(key)) return "invalid field name \"" + key + "\"";
    }
    return std::nullopt;
}

std::size_t RecordChecks::leastSize(const Record& record) {
    std::size_t size = 0;
    for (const auto& [key, value] : record.fields()) size += key.size() + leastValueSize(value);
    return size;
}

}  // namespace tallowmere::cloud
