#include "platform/cloud/Configuration.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/defaults/UserDefaults.h"
#include "platform/xdg/BaseDirectories.h"

namespace tallowmere::cloud {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// "host=db.example.org dbname=news": libpq's keyword form. A path never
// starts with a lower-case keyword and an equals sign.
bool isKeywordForm(std::string_view text) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0 || startsWith(text, "file:")) return false;
    const auto keyword = trimmed(text.substr(0, equals));
    return !keyword.empty() && keyword.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") == std::string_view::npos;
}

}  // namespace

Configuration Configuration::none() { return Configuration(); }

Configuration Configuration::localFile(std::filesystem::path file, std::optional<std::string> account) {
    Configuration configuration;
    configuration.kind = Kind::localFile;
    configuration.file = std::move(file);
    configuration.account = account && !account->empty() ? *account : loginName();
    configuration.assetCacheDirectory = defaultAssetCacheDirectory();
    return configuration;
}

Configuration Configuration::postgres(std::string connectionString) {
    Configuration configuration;
    configuration.kind = Kind::postgres;
    configuration.connectionString = std::move(connectionString);
    configuration.assetCacheDirectory = defaultAssetCacheDirectory();
    return configuration;
}

Configuration Configuration::parse(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text == "none") return none();
    if (startsWith(text, "postgresql://") || startsWith(text, "postgres://")) return postgres(std::string(text));
    if (isKeywordForm(text)) return postgres(std::string(text));
    if (startsWith(text, "file:")) text.remove_prefix(5);
    std::optional<std::string> account;
    if (const auto query = text.rfind("?account="); query != std::string_view::npos) {
        account = std::string(text.substr(query + 9));
        text = text.substr(0, query);
    }
    if (text.empty()) return none();
    return localFile(std::filesystem::path(std::string(text)), account);
}

Configuration Configuration::resolve(const std::optional<std::string>& settingText) {
    if (const char* environment = std::getenv(environmentVariable)) return parse(environment);
    return parse(settingText.value_or(""));
}

Configuration Configuration::current() {
    return resolve(defaults::UserDefaults::standard()->string(settingKey));
}

std::string Configuration::loginName() {
    if (const char* user = std::getenv("USER"); user && *user) return user;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name) return entry->pw_name;
    return "user";
}

std::filesystem::path Configuration::defaultAssetCacheDirectory() {
    std::filesystem::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
        base = cache;
    } else {
        base = xdg::BaseDirectories::home() / ".cache";
    }
    return base / "Tallowmere" / "CloudAssets";
}

}  // namespace tallowmere::cloud
