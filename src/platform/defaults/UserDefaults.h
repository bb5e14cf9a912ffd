#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/defaults/DefaultsIssue.h"
#include "platform/defaults/ObserverList.h"
#include "platform/defaults/ObserverToken.h"
#include "platform/defaults/Value.h"

namespace tallowmere::defaults {

// The local settings of the program: typed values under text keys, kept in
// one JSON file, with an in-memory registration domain of defaults that
// answers for keys that hold no stored value.
//
// Reading and writing happen in memory and are safe from any thread.
// synchronize() writes the file atomically (a temporary file renamed over the
// old one), so a crash leaves either the old or the new file, never half of
// one; the destructor writes unsaved changes too (without reporting a
// failure).
//
// Loading tolerates a missing file (no settings yet) and a corrupt one: that
// is moved aside as "<file>.corrupt-<UTC time>" (the newest five such copies
// are kept) and the program starts from the defaults. A document nested
// deeper than maximumNesting counts as corrupt. Values that are not valid
// UTF-8 are written with U+FFFD in their place. Such problems are handed to the issue handler (see
// setIssueHandler), since this layer does not log by itself.
class UserDefaults {
public:
    using IssueHandler = std::function<void(const DefaultsIssue&)>;
    // Called with the key after every set or removal of it, also when the
    // value did not change, on the thread that made the change.
    using ObserverCallback = std::function<void(const std::string& key)>;

    static constexpr std::size_t maximumNesting = 512;
    static constexpr std::size_t keptSetAsideCopies = 5;

    explicit UserDefaults(std::filesystem::path file);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The program's own settings, "settings.json" in ConfigDirectory, made on
    // first use.
    static std::shared_ptr<UserDefaults> standard();
    static std::filesystem::path standardFile();

    const std::filesystem::path& file() const { return file_; }

    // Adds to the registration domain (a key registered again takes the new
    // default). Never written to the file; observers are not called.
    void registerDefaults(const std::map<std::string, Value>& defaults);

    // The stored value, else the registered one, else nothing.
    std::optional<Value> object(const std::string& key) const;
    // Lenient typed readings of object(); false / 0 / 0.0 when there is none.
    bool boolean(const std::string& key) const;
    std::int64_t integer(const std::string& key) const;
    double real(const std::string& key) const;
    // Only values of that very kind.
    std::optional<std::string> string(const std::string& key) const;
    std::optional<Date> date(const std::string& key) const;

    void set(const std::string& key, Value value);
    void removeObject(const std::string& key);

    // Every key with its value: registered defaults overlaid by stored values.
    std::map<std::string, Value> dictionaryRepresentation() const;

    ObserverToken addObserver(const std::string& key, ObserverCallback callback);

    // Writes unsaved changes to the file. Nothing on success; the issue
    // otherwise (also handed to the issue handler).
    std::optional<DefaultsIssue> synchronize();

    // Where loading and writing problems go. A problem met while loading,
    // before any handler was set, is handed to the first handler set.
    void setIssueHandler(IssueHandler handler);

private:
    void load();
    void setAsideUnreadable(const std::string& detail);
    std::optional<DefaultsIssue> writeChanges();
    void changeStored(const std::string& key, std::optional<Value> value);
    void report(const DefaultsIssue& issue);

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, Value> registered_;
    std::map<std::string, Value> stored_;
    // Entries of the file this layer does not understand (written by a newer
    // version, or by hand): kept as their JSON text and written back as they
    // were, until the key is set or removed.
    std::map<std::string, std::string> foreign_;
    std::uint64_t changeCount_ = 0;
    std::uint64_t savedChangeCount_ = 0;
    std::mutex writeMutex_;
    std::mutex issueMutex_;
    IssueHandler issueHandler_;
    std::optional<DefaultsIssue> pendingIssue_;
    ObserverList<const std::string&> observers_;
};

}  // namespace tallowmere::defaults
