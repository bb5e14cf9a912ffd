#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/defaults/ConfigDirectory.h"
#include "platform/defaults/UserDefaults.h"
#include "support/TempDir.h"
#include "support/XdgSandbox.h"

using namespace tallowmere;
using namespace tallowmere::defaults;

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// `levels` arrays, one inside the other.
std::string nested(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }

class UserDefaultsTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return dir_.path() / "config" / "settings.json"; }
    // The copies of damaged files, oldest first.
    std::vector<std::filesystem::path> setAsideCopies() const {
        std::vector<std::filesystem::path> copies;
        for (const auto& entry : std::filesystem::directory_iterator(file().parent_path()))
            if (entry.path().filename().string().starts_with("settings.json.corrupt-")) copies.push_back(entry.path());
        std::sort(copies.begin(), copies.end());
        return copies;
    }

    test::TempDir dir_;
};

}  // namespace

TEST_F(UserDefaultsTest, StoredValuesOverlayTheRegistrationDomain) {
    UserDefaults defaults(file());
    defaults.registerDefaults({{"Interval", Value(5)}, {"Badge", Value(true)}});
    EXPECT_EQ(defaults.integer("Interval"), 5);
    EXPECT_TRUE(defaults.boolean("Badge"));
    EXPECT_FALSE(defaults.object("Missing"));
    EXPECT_FALSE(defaults.boolean("Missing"));
    EXPECT_EQ(defaults.integer("Missing"), 0);

    defaults.set("Interval", Value(15));
    defaults.set("Other", Value("x"));
    EXPECT_EQ(defaults.integer("Interval"), 15);
    EXPECT_EQ(defaults.dictionaryRepresentation(),
              (std::map<std::string, Value>{
                  {"Badge", Value(true)}, {"Interval", Value(15)}, {"Other", Value("x")}}));

    defaults.removeObject("Interval");
    EXPECT_EQ(defaults.integer("Interval"), 5) << "removal uncovers the registered default";

    // Registered defaults never reach the file.
    ASSERT_FALSE(defaults.synchronize());
    const auto json = nlohmann::json::parse(readFile(file()));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"Other": "x"})"));
}

TEST_F(UserDefaultsTest, TypedValuesSurviveARestart) {
    const Date when = Date(std::chrono::nanoseconds(1765372689123456789LL));
    {
        UserDefaults defaults(file());
        defaults.set("Flag", Value(true));
        defaults.set("Count", Value(std::int64_t{1} << 40));
        defaults.set("Ratio", Value(0.25));
        defaults.set("Name", Value("tallowmere://store/Feed/7"));
        defaults.set("When", Value(when));
        defaults.set("LooksLikeADate", Value("2025-12-10T13:18:09.123456789Z"));
        ASSERT_FALSE(defaults.synchronize());
    }
    UserDefaults reopened(file());
    EXPECT_EQ(reopened.object("Flag"), Value(true));
    EXPECT_EQ(reopened.object("Count"), Value(std::int64_t{1} << 40));
    EXPECT_EQ(reopened.object("Ratio"), Value(0.25));
    EXPECT_EQ(reopened.string("Name"), "tallowmere://store/Feed/7");
    EXPECT_EQ(reopened.date("When"), when);
    EXPECT_FALSE(reopened.date("LooksLikeADate"));
    EXPECT_FALSE(reopened.date("Name"));
    EXPECT_FALSE(reopened.string("Count"));
}

TEST_F(UserDefaultsTest, ObserversHearEveryChangeOfTheirKeyOnTheChangingThread) {
    UserDefaults defaults(file());
    std::vector<std::string> heard;
    std::vector<std::thread::id> threads;
    std::optional<Value> seenInCallback;
    auto token = defaults.addObserver("Watched", [&](const std::string& key) {
        heard.push_back(key);
        threads.push_back(std::this_thread::get_id());
        seenInCallback = defaults.object(key);  // reading from the callback must not deadlock
    });
    defaults.set("Watched", Value(1));
    defaults.set("Watched", Value(1));  // equal values are still changes to hear of
    defaults.set("Unwatched", Value(1));
    std::thread([&] { defaults.removeObject("Watched"); }).join();
    ASSERT_EQ(heard, (std::vector<std::string>{"Watched", "Watched", "Watched"}));
    EXPECT_EQ(threads[0], std::this_thread::get_id());
    EXPECT_NE(threads[2], std::this_thread::get_id());
    EXPECT_FALSE(seenInCallback);

    token.cancel();
    EXPECT_FALSE(token.isActive());
    defaults.set("Watched", Value(2));
    EXPECT_EQ(heard.size(), 3u);
}

TEST_F(UserDefaultsTest, ObserverMayCancelItselfAndTokensMayOutliveTheStore) {
    ObserverToken survivor;
    {
        UserDefaults defaults(file());
        int calls = 0;
        ObserverToken self;
        self = defaults.addObserver("Key", [&](const std::string&) {
            ++calls;
            self.cancel();
        });
        defaults.set("Key", Value(1));
        defaults.set("Key", Value(2));
        EXPECT_EQ(calls, 1);
        survivor = defaults.addObserver("Key", [](const std::string&) {});
    }
    survivor.cancel();  // the store is gone: nothing to unregister, nothing to crash
}

TEST_F(UserDefaultsTest, MissingFileStartsEmptyWithoutAnIssue) {
    UserDefaults defaults(file());
    int issues = 0;
    defaults.setIssueHandler([&](const DefaultsIssue&) { ++issues; });
    EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    EXPECT_EQ(issues, 0);
    EXPECT_FALSE(std::filesystem::exists(file())) << "nothing to write yet";
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(UserDefaultsTest, CorruptFileIsKeptAsideAndTheDefaultsApply) {
    struct Shape {
        const char* name;
        std::string content;
    };
    const std::vector<Shape> shapes = {
        {"cut short", "{\"FirstLaunch\": false"},
        {"JSON, but no object", "[1, 2, 3]"},
        {"empty", ""},
        {"binary garbage", std::string("\x00\xff\xfe garbage", 11)},
        {"nested 200 000 levels", "{\"Frame\": " + nested(200000) + "}"},
        {"nested one level too deep", "{\"Frame\": " + nested(UserDefaults::maximumNesting) + "}"},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::filesystem::remove_all(file().parent_path());
        writeFile(file(), shape.content);
        UserDefaults defaults(file());
        defaults.registerDefaults({{"FirstLaunch", Value(true)}});
        EXPECT_TRUE(defaults.boolean("FirstLaunch"));
        EXPECT_FALSE(std::filesystem::exists(file()));
        const auto copies = setAsideCopies();
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(readFile(copies[0]), shape.content) << "the broken file is kept byte for byte";

        // The problem waits for whoever installs a handler.
        std::vector<DefaultsIssue> issues;
        defaults.setIssueHandler([&](const DefaultsIssue& issue) { issues.push_back(issue); });
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(issues[0].kind, DefaultsIssue::Kind::unreadableFile);
        EXPECT_EQ(issues[0].setAside, copies[0]);
        EXPECT_NE(issues[0].description().find("settings.json.corrupt-"), std::string::npos);

        // Delivered once only.
        defaults.setIssueHandler([&](const DefaultsIssue& issue) { issues.push_back(issue); });
        EXPECT_EQ(issues.size(), 1u);

        defaults.set("FirstLaunch", Value(false));
        ASSERT_FALSE(defaults.synchronize());
        EXPECT_FALSE(UserDefaults(file()).boolean("FirstLaunch"));
    }
}

TEST_F(UserDefaultsTest, NestingUpToTheLimitIsAccepted) {
    // The top-level object is one level; the value fills the rest.
    writeFile(file(), "{\"Frame\": " + nested(UserDefaults::maximumNesting - 1) + ", \"Count\": 3}");
    UserDefaults defaults(file());
    EXPECT_EQ(defaults.integer("Count"), 3);
    EXPECT_TRUE(setAsideCopies().empty());
    defaults.set("Count", Value(4));
    ASSERT_FALSE(defaults.synchronize()) << "the deep entry is written back as it was";
    EXPECT_EQ(UserDefaults(file()).integer("Count"), 4);
}

TEST_F(UserDefaultsTest, EachDamagedFileIsKeptAsideAndTheNewestFiveRemain) {
    constexpr int damagedStarts = 7;
    for (int i = 0; i < damagedStarts; ++i) {
        writeFile(file(), "{damaged " + std::to_string(i));
        UserDefaults defaults(file());
    }
    const auto copies = setAsideCopies();
    ASSERT_EQ(copies.size(), UserDefaults::keptSetAsideCopies);
    for (std::size_t i = 0; i < copies.size(); ++i)
        EXPECT_EQ(readFile(copies[i]), "{damaged " + std::to_string(damagedStarts - copies.size() + i))
            << "sorted by name is sorted by time, oldest copies go first";
}

TEST_F(UserDefaultsTest, ValuesThatAreNotUtf8AreSavedWithReplacementCharacters) {
    {
        UserDefaults defaults(file());
        defaults.set("Name", Value(std::string("caf\xe9 \xff")));
        defaults.set("Other", Value(1));
        EXPECT_FALSE(defaults.synchronize());
        defaults.set("Other", Value(2));  // left for the destructor, which must not throw
    }
    UserDefaults reread(file());
    EXPECT_EQ(reread.string("Name"), "caf\xef\xbf\xbd \xef\xbf\xbd");
    EXPECT_EQ(reread.integer("Other"), 2);
}

TEST_F(UserDefaultsTest, EntriesOfUnknownShapeAreKeptUntilReplaced) {
    writeFile(file(), R"({"Frame": [1, 2, 3, 4], "Nothing": null, "Nested": {"a": 1}, "Count": 3})");
    UserDefaults defaults(file());
    EXPECT_FALSE(defaults.object("Frame"));
    EXPECT_EQ(defaults.integer("Count"), 3);
    defaults.set("Count", Value(4));
    defaults.set("Nested", Value("flat"));
    ASSERT_FALSE(defaults.synchronize());
    EXPECT_EQ(
        nlohmann::json::parse(readFile(file())),
        nlohmann::json::parse(R"({"Frame": [1, 2, 3, 4], "Nothing": null, "Nested": "flat", "Count": 4})"));
}

TEST_F(UserDefaultsTest, SynchronizeWritesOnlyChangesAndLeavesNoTemporaryFiles) {
    UserDefaults defaults(file());
    defaults.set("A", Value(1));
    ASSERT_FALSE(defaults.synchronize());
    std::filesystem::remove(file());
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(std::filesystem::exists(file())) << "no change since the last write";
    defaults.set("A", Value(1));
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(std::filesystem::exists(file()));
    for (const auto& entry : std::filesystem::directory_iterator(file().parent_path())) {
        EXPECT_EQ(entry.path().filename(), "settings.json");
    }
}

TEST_F(UserDefaultsTest, FailedWriteKeepsValuesAndIsReported) {
    const auto blocker = dir_.path() / "blocker";
    writeFile(blocker, "a file where the folder should be");
    UserDefaults defaults(blocker / "settings.json");
    std::vector<DefaultsIssue> issues;
    defaults.setIssueHandler([&](const DefaultsIssue& issue) { issues.push_back(issue); });
    defaults.set("A", Value(1));
    const auto failure = defaults.synchronize();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, DefaultsIssue::Kind::writeFailed);
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(defaults.integer("A"), 1);

    // The next attempt tries again once the way is clear.
    std::filesystem::remove(blocker);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(blocker / "settings.json").integer("A"), 1);
}

TEST_F(UserDefaultsTest, UnsavedChangesAreWrittenWhenTheStoreCloses) {
    { UserDefaults(file()).set("A", Value("kept")); }
    EXPECT_EQ(UserDefaults(file()).string("A"), "kept");
}

TEST_F(UserDefaultsTest, ConcurrentWritersAndSynchronizesLoseNothing) {
    constexpr int threads = 4;
    constexpr int perThread = 50;
    {
        UserDefaults defaults(file());
        std::atomic<int> heard{0};
        std::vector<ObserverToken> tokens;
        for (int t = 0; t < threads; ++t) {
            tokens.push_back(
                defaults.addObserver("t" + std::to_string(t) + "-0", [&](const std::string&) { ++heard; }));
        }
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i) {
                    defaults.set("t" + std::to_string(t) + "-" + std::to_string(i), Value(i));
                    if (i % 10 == 0) defaults.synchronize();
                    (void)defaults.dictionaryRepresentation();
                }
            });
        }
        for (auto& worker : workers) worker.join();
        EXPECT_EQ(heard.load(), threads);
        ASSERT_FALSE(defaults.synchronize());
    }
    UserDefaults reopened(file());
    EXPECT_EQ(reopened.dictionaryRepresentation().size(), static_cast<std::size_t>(threads * perThread));
}

TEST(ConfigDirectory, FollowsTheXdgRules) {
    const auto home = test::XdgSandbox::home();
    ASSERT_FALSE(home.empty());
    const std::string saved = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserDefaults::standardFile(), std::filesystem::path(saved) / "Tallowmere" / "settings.json");

    setenv("XDG_CONFIG_HOME", "/elsewhere/config", 1);
    EXPECT_EQ(ConfigDirectory::applicationDirectory(), std::filesystem::path("/elsewhere/config/Tallowmere"));
    // Relative and empty values are not to be used.
    for (const char* ignored : {"relative/config", ""}) {
        setenv("XDG_CONFIG_HOME", ignored, 1);
        EXPECT_EQ(ConfigDirectory::applicationDirectory(), home / ".config" / "Tallowmere") << ignored;
    }
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ConfigDirectory::configHome(), home / ".config");
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}
