#include "platform/cloud/FieldJson.h"

#include <type_traits>

#include "platform/cloud/FieldCodec.h"

namespace tallowmere::cloud {
namespace {

using nlohmann::json;

std::optional<std::string> optionalText(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::vector<std::string> texts(const json& object, const char* key) {
    std::vector<std::string> values;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) return values;
    for (const auto& item : *found) {
        if (item.is_string()) values.push_back(item.get<std::string>());
    }
    return values;
}

void putOptional(json& object, const char* key, const std::optional<std::string>& value) {
    if (value) object[key] = *value;
}

bool flag(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace

json FieldJson::encode(const FieldValue& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) return {{"s", v}};
            if constexpr (std::is_same_v<T, std::int64_t>) return {{"i", v}};
            if constexpr (std::is_same_v<T, double>) return {{"d", v}};
            if constexpr (std::is_same_v<T, bool>) return {{"b", v}};
            if constexpr (std::is_same_v<T, Date>) return {{"t", FieldCodec::microseconds(v)}};
            if constexpr (std::is_same_v<T, std::vector<std::string>>) return {{"S", v}};
            if constexpr (std::is_same_v<T, std::vector<std::int64_t>>) return {{"I", v}};
            if constexpr (std::is_same_v<T, Asset>) return {{"a", v.fileURL.string()}};
        },
        value);
}

std::optional<FieldValue> FieldJson::decodeValue(const json& value) {
    if (!value.is_object() || value.size() != 1) return std::nullopt;
    // The iterator owns the key it hands out: keep it alive while tag is read.
    const auto only = value.begin();
    const std::string& tag = only.key();
    const json& v = only.value();
    if (tag == "s" && v.is_string()) return FieldValue(v.get<std::string>());
    if (tag == "i" && v.is_number_integer()) return FieldValue(v.get<std::int64_t>());
    if (tag == "d" && v.is_number()) return FieldValue(v.get<double>());
    if (tag == "b" && v.is_boolean()) return FieldValue(v.get<bool>());
    if (tag == "t" && v.is_number_integer()) return FieldValue(FieldCodec::date(v.get<std::int64_t>()));
    if (tag == "a" && v.is_string()) return FieldValue(Asset{v.get<std::string>()});
    if (tag == "S" && v.is_array()) {
        std::vector<std::string> items;
        for (const auto& item : v) {
            if (!item.is_string()) return std::nullopt;
            items.push_back(item.get<std::string>());
        }
        return FieldValue(std::move(items));
    }
    if (tag == "I" && v.is_array()) {
        std::vector<std::int64_t> items;
        for (const auto& item : v) {
            if (!item.is_number_integer()) return std::nullopt;
            items.push_back(item.get<std::int64_t>());
        }
        return FieldValue(std::move(items));
    }
    return std::nullopt;
}

json FieldJson::encode(const Predicate& predicate) {
    switch (predicate.kind()) {
        case Predicate::Kind::all: return {{"kind", "all"}};
        case Predicate::Kind::fieldEquals:
            return {{"kind", "equals"}, {"key", predicate.key()}, {"value", encode(predicate.value())}};
        case Predicate::Kind::fieldIn: return {{"kind", "in"}, {"key", predicate.key()}, {"values", predicate.values()}};
        case Predicate::Kind::recordIDEquals:
            return {{"kind", "recordID"},
                    {"name", predicate.recordID().recordName},
                    {"zone", predicate.recordID().zoneName}};
    }
    return {};
}

std::optional<Predicate> FieldJson::decodePredicate(const json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto kind = optionalText(value, "kind");
    if (!kind) return std::nullopt;
    if (*kind == "all") return Predicate::all();
    if (*kind == "recordID") {
        const auto name = optionalText(value, "name");
        const auto zone = optionalText(value, "zone");
        if (!name || !zone) return std::nullopt;
        return Predicate::recordIDEquals(RecordID(*name, *zone));
    }
    const auto key = optionalText(value, "key");
    if (!key) return std::nullopt;
    if (*kind == "in") {
        const auto found = value.find("values");
        if (found == value.end() || !found->is_array()) return std::nullopt;
        return Predicate::in(*key, texts(value, "values"));
    }
    if (*kind == "equals") {
        const auto found = value.find("value");
        if (found == value.end()) return std::nullopt;
        auto decoded = decodeValue(*found);
        if (!decoded) return std::nullopt;
        return Predicate::equals(*key, std::move(*decoded));
    }
    return std::nullopt;
}

json FieldJson::encode(const QuerySubscription& subscription) {
    const auto& info = subscription.notificationInfo;
    json encodedInfo = json::object();
    if (info.desiredKeys) encodedInfo["desiredKeys"] = *info.desiredKeys;
    putOptional(encodedInfo, "titleKey", info.titleLocalizationKey);
    encodedInfo["titleArgs"] = info.titleLocalizationArgs;
    putOptional(encodedInfo, "alertKey", info.alertLocalizationKey);
    encodedInfo["alertArgs"] = info.alertLocalizationArgs;
    putOptional(encodedInfo, "sound", info.soundName);
    putOptional(encodedInfo, "category", info.category);
    encodedInfo["contentAvailable"] = info.shouldSendContentAvailable;
    encodedInfo["mutableContent"] = info.shouldSendMutableContent;
    return {{"id", subscription.subscriptionID},
            {"type", subscription.recordType},
            {"predicate", encode(subscription.predicate)},
            {"options", subscription.options},
            {"info", encodedInfo}};
}

std::optional<QuerySubscription> FieldJson::decodeSubscription(const json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto id = optionalText(value, "id");
    const auto type = optionalText(value, "type");
    const auto predicate = value.contains("predicate") ? decodePredicate(value["predicate"]) : std::nullopt;
    const auto options = value.find("options");
    const auto info = value.find("info");
    if (!id || !type || !predicate || options == value.end() || !options->is_number_unsigned() ||
        info == value.end() || !info->is_object()) {
        return std::nullopt;
    }
    QuerySubscription subscription{*id, *type, *predicate, options->get<unsigned>(), {}};
    auto& out = subscription.notificationInfo;
    if (info->contains("desiredKeys")) out.desiredKeys = texts(*info, "desiredKeys");
    out.titleLocalizationKey = optionalText(*info, "titleKey");
    out.titleLocalizationArgs = texts(*info, "titleArgs");
    out.alertLocalizationKey = optionalText(*info, "alertKey");
    out.alertLocalizationArgs = texts(*info, "alertArgs");
    out.soundName = optionalText(*info, "sound");
    out.category = optionalText(*info, "category");
    out.shouldSendContentAvailable = flag(*info, "contentAvailable");
    out.shouldSendMutableContent = flag(*info, "mutableContent");
    return subscription;
}

json FieldJson::encode(const Notification& notification) {
    json fields = json::object();
    for (const auto& [key, value] : notification.recordFields) fields[key] = encode(value);
    json out = {{"subscription", notification.subscriptionID},
                {"scope", static_cast<int>(notification.databaseScope)},
                {"name", notification.recordID.recordName},
                {"zone", notification.recordID.zoneName},
                {"fields", fields},
                {"contentAvailable", notification.contentAvailable},
                {"mutableContent", notification.mutableContent}};
    putOptional(out, "title", notification.alertTitle);
    putOptional(out, "body", notification.alertBody);
    putOptional(out, "sound", notification.soundName);
    putOptional(out, "category", notification.category);
    return out;
}

std::optional<Notification> FieldJson::decodeNotification(const json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto subscription = optionalText(value, "subscription");
    const auto name = optionalText(value, "name");
    const auto zone = optionalText(value, "zone");
    const auto scope = value.find("scope");
    const auto fields = value.find("fields");
    if (!subscription || !name || !zone || scope == value.end() || !scope->is_number_integer() ||
        fields == value.end() || !fields->is_object()) {
        return std::nullopt;
    }
    Notification notification;
    notification.subscriptionID = *subscription;
    notification.databaseScope = scope->get<int>() == static_cast<int>(DatabaseScope::privateScope)
                                     ? DatabaseScope::privateScope
                                     : DatabaseScope::publicScope;
    notification.recordID = RecordID(*name, *zone);
    for (const auto& [key, encoded] : fields->items()) {
        if (auto decoded = decodeValue(encoded)) notification.recordFields.emplace(key, std::move(*decoded));
    }
    notification.alertTitle = optionalText(value, "title");
    notification.alertBody = optionalText(value, "body");
    notification.soundName = optionalText(value, "sound");
    notification.category = optionalText(value, "category");
    notification.contentAvailable = flag(value, "contentAvailable");
    notification.mutableContent = flag(value, "mutableContent");
    return notification;
}

}  // namespace tallowmere::cloud
