#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere {

// Texts shown to the user, looked up by key in the string table named
// after the type that shows them ("strings/<language>/<Table>.json"): first
// in the user's language, then in English, and when neither has the key,
// the key itself is shown.
class Localization {
public:
    // The bytes of a table file by its path, or nothing.
    using TableSource = std::function<std::optional<std::string_view>(std::string_view path)>;

    // languages: the user's preferred languages, most preferred first, as
    // the locale variables give them ("de_DE.UTF-8", "pt_BR", "fr").
    // available: the language folders the tables exist in.
    Localization(TableSource source, std::vector<std::string> available, std::vector<std::string> languages);

    // Over the compiled-in tables, in the language of the environment.
    static std::shared_ptr<const Localization> shared();
    static void setShared(std::shared_ptr<const Localization> localization);

    std::string localized(std::string_view table, std::string_view key) const;

    // The folder chosen for the user's language ("en" when none fits).
    const std::string& language() const { return language_; }

    // The preferred languages after the locale variables: LANGUAGE (a
    // colon-separated list, unless the locale is "C" or "POSIX"), then the
    // first set of LC_ALL, LC_MESSAGES and LANG.
    static std::vector<std::string> languagesFromEnvironment(
        const std::function<const char*(const char*)>& getenv);

    // "%@" replaced by the arguments in order ("%1$@" by a numbered one),
    // "%%" by "%".
    static std::string format(std::string_view format, const std::vector<std::string>& arguments);

private:
    using Table = std::map<std::string, std::string, std::less<>>;

    std::optional<std::string> lookup(const std::string& language, std::string_view table, std::string_view key) const;
    const Table* table(const std::string& language, std::string_view name) const;

    TableSource source_;
    std::string language_;
    mutable std::mutex mutex_;
    mutable std::map<std::string, std::optional<Table>, std::less<>> tables_;
};

}  // namespace tallowmere
