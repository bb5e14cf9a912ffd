#include "foundation/Localization.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "foundation/Resources.h"

namespace tallowmere {

namespace {

constexpr std::string_view kPrefix = "strings/";
constexpr const char* kEnglish = "en";

// "de_DE.UTF-8@euro" gives "de_DE", then "de".
std::vector<std::string> candidates(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    std::vector<std::string> out;
    if (locale.empty() || locale == "C" || locale == "POSIX") return out;
    out.emplace_back(locale);
    const auto separator = locale.find_first_of("_-");
    if (separator != std::string_view::npos) out.emplace_back(locale.substr(0, separator));
    return out;
}

std::string chooseLanguage(const std::vector<std::string>& available, const std::vector<std::string>& languages) {
    for (const auto& language : languages) {
        for (const auto& candidate : candidates(language)) {
            if (std::find(available.begin(), available.end(), candidate) != available.end()) return candidate;
        }
    }
    return kEnglish;
}

std::vector<std::string> compiledInLanguages() {
    std::set<std::string> languages;
    for (const auto path : Resources::paths(kPrefix)) {
        const auto rest = path.substr(kPrefix.size());
        const auto slash = rest.find('/');
        if (slash != std::string_view::npos) languages.emplace(rest.substr(0, slash));
    }
    return {languages.begin(), languages.end()};
}

std::mutex sharedMutex;
std::shared_ptr<const Localization> sharedLocalization;

}  // namespace

Localization::Localization(TableSource source, std::vector<std::string> available, std::vector<std::string> languages)
    : source_(std::move(source)), language_(chooseLanguage(available, languages)) {}

std::shared_ptr<const Localization> Localization::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedLocalization) {
        sharedLocalization = std::make_shared<Localization>(
            [](std::string_view path) { return Resources::data(path); }, compiledInLanguages(),
            languagesFromEnvironment([](const char* name) { return std::getenv(name); }));
    }
    return sharedLocalization;
}

void Localization::setShared(std::shared_ptr<const Localization> localization) {
    std::lock_guard lock(sharedMutex);
    sharedLocalization = std::move(localization);
}

std::vector<std::string> Localization::languagesFromEnvironment(
    const std::function<const char*(const char*)>& getenv) {
    auto value = [&](const char* name) -> std::string {
        const char* text = getenv(name);
        return text ? std::string(text) : std::string();
    };
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = value(name);
        if (!locale.empty()) break;
    }
    std::vector<std::string> languages;
    const bool plainLocale = locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.");
    if (!plainLocale) {
        const std::string list = value("LANGUAGE");
        std::size_t start = 0;
        while (start <= list.size()) {
            const auto colon = list.find(':', start);
            const std::string item = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!item.empty()) languages.push_back(item);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        languages.push_back(locale);
    }
    return languages;
}

const Localization::Table* Localization::table(const std::string& language, std::string_view name) const {
    const std::string path = std::string(kPrefix) + language + "/" + std::string(name) + ".json";
    std::lock_guard lock(mutex_);
    auto found = tables_.find(path);
    if (found == tables_.end()) {
        std::optional<Table> loaded;
        if (const auto bytes = source_(path)) {
            // A table that does not read as an object of texts counts as missing.
            const auto json = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
            if (json.is_object()) {
                loaded.emplace();
                for (const auto& [key, text] : json.items()) {
                    if (text.is_string()) loaded->emplace(key, text.get<std::string>());
                }
            }
        }
        found = tables_.emplace(path, std::move(loaded)).first;
    }
    // Entries are never removed, so the pointer stays valid.
    return found->second ? &*found->second : nullptr;
}

std::optional<std::string> Localization::lookup(const std::string& language, std::string_view tableName,
                                                std::string_view key) const {
    const Table* texts = table(language, tableName);
    if (!texts) return std::nullopt;
    const auto found = texts->find(key);
    if (found == texts->end()) return std::nullopt;
    return found->second;
}

std::string Localization::localized(std::string_view tableName, std::string_view key) const {
    const std::string text = lookup(language_, tableName, key).value_or(std::string(key));
    if (text != key) return text;
    // A translation identical to its key is looked up once more in English.
    return lookup(kEnglish, tableName, key).value_or(std::string(key));
}

std::string Localization::format(std::string_view format, const std::vector<std::string>& arguments) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (format[i + 1] == '@') {
            if (next < arguments.size()) out += arguments[next];
            ++next;
            ++i;
        } else {
            // "%<n>$@"
            std::size_t j = i + 1;
            std::size_t number = 0;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9' && number < 1000) {
                number = number * 10 + static_cast<std::size_t>(format[j] - '0');
                ++j;
            }
            if (j > i + 1 && j + 1 < format.size() && format[j] == '$' && format[j + 1] == '@') {
                if (number >= 1 && number <= arguments.size()) out += arguments[number - 1];
                i = j + 1;
            } else {
                out += '%';
            }
        }
    }
    return out;
}

}  // namespace tallowmere
