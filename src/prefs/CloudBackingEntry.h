#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tallowmere {

// The cloud account as the user enters it: no cloud, a cloud file on this
// computer, or a PostgreSQL server; checked before it becomes the local-only
// setting "CloudBacking", which the next start opens.
class CloudBackingEntry {
public:
    enum class Kind { none, localFile, postgres };

    // Why an entry cannot be used: a text key of the Advanced pane, and the
    // detail it is filled with (a folder, libpq's own words).
    struct Refusal {
        std::string key;
        std::string detail;
    };
    // The setting's text, or why there is none.
    using Outcome = std::variant<std::string, Refusal>;

    Kind kind = Kind::none;
    // The file's path or the connection string; empty for none.
    std::string text;

    // The entry a setting's text stands for.
    static CloudBackingEntry fromSetting(const std::optional<std::string>& settingText);
    // The setting's text for the entry.
    static Outcome settingText(Kind kind, std::string_view input);
    // The connection string with its password replaced by stars.
    static std::string masked(const std::string& connectionString);

private:
    static Outcome fileSetting(std::string_view input);
    static Outcome connectionSetting(std::string_view input);
};

}  // namespace tallowmere
