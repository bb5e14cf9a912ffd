#include "platform/defaults/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "platform/defaults/ConfigDirectory.h"
#include "platform/defaults/ValueJson.h"
#include "platform/text/JsonNesting.h"

namespace tallowmere::defaults {
namespace {

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// Writes all of `text` to `descriptor`; an error text on failure.
std::optional<std::string> writeAll(int descriptor, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            return systemError("write", errno);
        }
        written += static_cast<std::size_t>(count);
    }
    return std::nullopt;
}

// Replaces `file` with `text` through a temporary file in the same folder, so
// that readers and crashes see the old or the new file whole.
std::optional<std::string> writeAtomically(const std::filesystem::path& file, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) return "create folder " + file.parent_path().string() + ": " + error.message();
    std::string temporary = file.string() + ".tmp-XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) return systemError("create temporary file", errno);
    std::optional<std::string> failure = writeAll(descriptor, text);
    if (!failure && ::fsync(descriptor) != 0) failure = systemError("fsync", errno);
    if (::close(descriptor) != 0 && !failure) failure = systemError("close", errno);
    if (!failure && ::rename(temporary.c_str(), file.c_str()) != 0) failure = systemError("rename", errno);
    if (failure) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // Makes the rename itself durable.
    const int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return std::nullopt;
}

// "<file>.corrupt-YYYYMMDD-HHMMSS-uuuuuu" in UTC, so that names sort by time.
std::string setAsidePrefix(const std::filesystem::path& file) { return file.filename().string() + ".corrupt-"; }

std::vector<std::filesystem::path> setAsideCopies(const std::filesystem::path& file) {
    const std::string prefix = setAsidePrefix(file);
    std::vector<std::filesystem::path> copies;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) copies.push_back(entry.path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

// A name after every earlier copy's, so an earlier copy is never overwritten
// and the newest always sorts last, even for several within one clock tick.
std::filesystem::path setAsideName(const std::filesystem::path& file) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto micros = duration_cast<microseconds>(now.time_since_epoch()).count() % 1'000'000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-%06lld", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long long>(micros));
    std::string name = setAsidePrefix(file) + stamp;
    const auto copies = setAsideCopies(file);
    if (!copies.empty() && name <= copies.back().filename().string()) name = copies.back().filename().string() + "-1";
    return file.parent_path() / name;
}

// Keeps the newest `keep` set-aside copies of `file` and removes older ones.
void pruneSetAsideCopies(const std::filesystem::path& file, std::size_t keep) {
    const auto copies = setAsideCopies(file);
    std::error_code error;
    for (std::size_t i = 0; i + keep < copies.size(); ++i) std::filesystem::remove(copies[i], error);
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) { load(); }

// Silent: at process exit the owner that would report a failure (and its log)
// may be gone already. Never throws, so closing cannot end the program.
UserDefaults::~UserDefaults() {
    try {
        writeChanges();
    } catch (...) {
    }
}

std::filesystem::path UserDefaults::standardFile() {
    return ConfigDirectory::applicationDirectory() / "settings.json";
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static const std::shared_ptr<UserDefaults> instance = std::make_shared<UserDefaults>(standardFile());
    return instance;
}

void UserDefaults::load() {
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        const int error = errno;
        std::error_code ignored;
        if (!std::filesystem::exists(file_, ignored)) return;  // a fresh installation
        setAsideUnreadable(systemError("open", error));
        return;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        setAsideUnreadable("read failed");
        return;
    }
    // Deeper documents parse, but encoding them again recurses once per
    // level and would overflow the stack at every start.
    if (text::JsonNesting::deeperThan(content.str(), maximumNesting)) {
        setAsideUnreadable("nested deeper than " + std::to_string(maximumNesting) + " levels");
        return;
    }
    const auto json = nlohmann::json::parse(content.str(), nullptr, false);
    if (json.is_discarded()) {
        setAsideUnreadable("not valid JSON");
        return;
    }
    if (!json.is_object()) {
        setAsideUnreadable("not a JSON object");
        return;
    }
    for (const auto& [key, encoded] : json.items()) {
        if (auto value = ValueJson::decode(encoded)) {
            stored_.emplace(key, std::move(*value));
        } else {
            foreign_.emplace(key, encoded.dump());
        }
    }
}

void UserDefaults::setAsideUnreadable(const std::string& detail) {
    DefaultsIssue issue{DefaultsIssue::Kind::unreadableFile, file_, {}, detail};
    const std::filesystem::path setAside = setAsideName(file_);
    std::error_code error;
    std::filesystem::rename(file_, setAside, error);
    if (error) {
        issue.detail += "; could not move it aside: " + error.message();
    } else {
        issue.setAside = setAside;
        pruneSetAsideCopies(file_, keptSetAsideCopies);
    }
    pendingIssue_ = std::move(issue);
}

void UserDefaults::registerDefaults(const std::map<std::string, Value>& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : defaults) registered_.insert_or_assign(key, value);
}

std::optional<Value> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (const auto found = stored_.find(key); found != stored_.end()) return found->second;
    if (const auto found = registered_.find(key); found != registered_.end()) return found->second;
    return std::nullopt;
}

bool UserDefaults::boolean(const std::string& key) const {
    const auto value = object(key);
    return value && value->toBoolean();
}

std::int64_t UserDefaults::integer(const std::string& key) const {
    const auto value = object(key);
    return value ? value->toInteger() : 0;
}

double UserDefaults::real(const std::string& key) const {
    const auto value = object(key);
    return value ? value->toReal() : 0.0;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    const auto value = object(key);
    return value ? value->asString() : std::nullopt;
}

std::optional<Date> UserDefaults::date(const std::string& key) const {
    const auto value = object(key);
    return value ? value->asDate() : std::nullopt;
}

void UserDefaults::set(const std::string& key, Value value) { changeStored(key, std::move(value)); }

void UserDefaults::removeObject(const std::string& key) { changeStored(key, std::nullopt); }

void UserDefaults::changeStored(const std::string& key, std::optional<Value> value) {
    {
        std::lock_guard lock(mutex_);
        foreign_.erase(key);
        if (value) {
            stored_.insert_or_assign(key, std::move(*value));
        } else {
            stored_.erase(key);
        }
        ++changeCount_;
    }
    observers_.notify(key, key);
}

std::map<std::string, Value> UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    auto all = registered_;
    for (const auto& [key, value] : stored_) all.insert_or_assign(key, value);
    return all;
}

ObserverToken UserDefaults::addObserver(const std::string& key, ObserverCallback callback) {
    return observers_.add(key, std::move(callback));
}

std::optional<DefaultsIssue> UserDefaults::synchronize() {
    auto issue = writeChanges();
    if (issue) report(*issue);
    return issue;
}

std::optional<DefaultsIssue> UserDefaults::writeChanges() {
    // One writer at a time, so an older snapshot never lands after a newer one.
    std::lock_guard writeLock(writeMutex_);
    nlohmann::json content = nlohmann::json::object();
    std::uint64_t snapshotCount = 0;
    {
        std::lock_guard lock(mutex_);
        if (changeCount_ == savedChangeCount_) return std::nullopt;
        for (const auto& [key, text] : foreign_) content[key] = nlohmann::json::parse(text);
        for (const auto& [key, value] : stored_) content[key] = ValueJson::encode(value);
        snapshotCount = changeCount_;
    }
    // A value that is not valid UTF-8 is written with U+FFFD in place of the
    // bad bytes instead of making every later save fail.
    std::string text;
    try {
        text = content.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (const std::exception& failure) {
        return DefaultsIssue{DefaultsIssue::Kind::writeFailed, file_, {}, failure.what()};
    }
    if (auto failure = writeAtomically(file_, text)) {
        return DefaultsIssue{DefaultsIssue::Kind::writeFailed, file_, {}, *failure};
    }
    std::lock_guard lock(mutex_);
    savedChangeCount_ = snapshotCount;
    return std::nullopt;
}

void UserDefaults::setIssueHandler(IssueHandler handler) {
    std::optional<DefaultsIssue> pending;
    IssueHandler deliver;
    {
        std::lock_guard lock(issueMutex_);
        issueHandler_ = std::move(handler);
        if (issueHandler_ && pendingIssue_) {
            pending = std::exchange(pendingIssue_, std::nullopt);
            deliver = issueHandler_;
        }
    }
    if (pending) deliver(*pending);
}

void UserDefaults::report(const DefaultsIssue& issue) {
    IssueHandler handler;
    {
        std::lock_guard lock(issueMutex_);
        handler = issueHandler_;
    }
    if (handler) handler(issue);
}

}  // namespace tallowmere::defaults
