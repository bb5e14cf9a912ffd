#include "prefs/CloudBackingEntry.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/cloud/Configuration.h"
#include "platform/cloud/postgres/PostgresConnection.h"

namespace tallowmere {
namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool isWritable(const std::filesystem::path& path) { return ::access(path.c_str(), W_OK) == 0; }

}  // namespace

CloudBackingEntry CloudBackingEntry::fromSetting(const std::optional<std::string>& settingText) {
    const auto configuration = cloud::Configuration::parse(settingText.value_or(""));
    switch (configuration.kind) {
        case cloud::Configuration::Kind::none:
            return {};
        case cloud::Configuration::Kind::localFile:
            return {Kind::localFile, configuration.file.string()};
        case cloud::Configuration::Kind::postgres:
            return {Kind::postgres, configuration.connectionString};
    }
    return {};
}

CloudBackingEntry::Outcome CloudBackingEntry::settingText(Kind kind, std::string_view input) {
    switch (kind) {
        case Kind::none:
            return std::string("none");
        case Kind::localFile:
            return fileSetting(input);
        case Kind::postgres:
            return connectionSetting(input);
    }
    return std::string("none");
}

CloudBackingEntry::Outcome CloudBackingEntry::fileSetting(std::string_view input) {
    const std::string text = trimmed(input);
    if (text.empty()) return Refusal{"cloud_file_missing", {}};
    const std::filesystem::path file(text);
    if (!file.is_absolute()) return Refusal{"cloud_file_not_absolute", text};
    const auto folder = file.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return Refusal{"cloud_file_folder_missing", folder.string()};
    if (!isWritable(folder)) return Refusal{"cloud_file_folder_unwritable", folder.string()};
    if (std::filesystem::is_directory(file, error)) return Refusal{"cloud_file_is_folder", text};
    if (std::filesystem::exists(file, error) && !isWritable(file)) return Refusal{"cloud_file_unwritable", text};
    // The setting must read back as this very file (a path holding the
    // account marker would not).
    const auto readBack = cloud::Configuration::parse(text);
    if (readBack.kind != cloud::Configuration::Kind::localFile || readBack.file != file) {
        return Refusal{"cloud_file_unusable", text};
    }
    return text;
}

CloudBackingEntry::Outcome CloudBackingEntry::connectionSetting(std::string_view input) {
    const std::string text = trimmed(input);
    if (text.empty()) return Refusal{"cloud_connection_missing", {}};
    if (auto problem = cloud::PostgresConnection::readProblem(text)) return Refusal{"cloud_connection_unreadable", *problem};
    if (cloud::Configuration::parse(text).kind != cloud::Configuration::Kind::postgres) {
        return Refusal{"cloud_connection_unreadable", "not a connection string"};
    }
    return text;
}

std::string CloudBackingEntry::masked(const std::string& connectionString) {
    return cloud::PostgresConnection::masked(connectionString);
}

}  // namespace tallowmere
