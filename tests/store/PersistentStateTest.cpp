#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <vector>

#include "foundation/Logger.h"
#include "store/PersistentState.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

class PersistentStateTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return dir_.path() / "settings.json"; }
    PersistentState open() const { return PersistentState(std::make_shared<defaults::UserDefaults>(file())); }

    test::TempDir dir_;
};

}  // namespace

TEST_F(PersistentStateTest, FirstLaunchIsClearedOnceForEveryLaterInstance) {
    auto first = open();
    EXPECT_TRUE(first.firstLaunch());
    first.setFirstLaunch(false);
    EXPECT_FALSE(first.firstLaunch());
    // A second program instance sees it at once: the flag is written, not
    // merely kept for the next synchronize.
    auto second = open();
    EXPECT_FALSE(second.firstLaunch());
    EXPECT_FALSE(open().firstLaunch());
}

TEST_F(PersistentStateTest, LastSelectedNodeKeepsTheUriText) {
    EXPECT_STREQ(PersistentState::lastSelectedNodeKey, "LastSelectedNode");
    const std::string uri = "tallowmere://6F9619FF-8B86-D011-B42D-00C04FC964FF/Feed/42";
    {
        auto state = open();
        EXPECT_FALSE(state.defaults().string(PersistentState::lastSelectedNodeKey));
        state.defaults().set(PersistentState::lastSelectedNodeKey, defaults::Value(uri));
        ASSERT_FALSE(state.defaults().synchronize());
    }
    EXPECT_EQ(open().defaults().string(PersistentState::lastSelectedNodeKey), uri);
}

TEST_F(PersistentStateTest, CorruptSettingsFileStartsAfreshWithAWarning) {
    std::ofstream(file()) << "FirstLaunch = false";
    std::mutex mutex;
    std::vector<std::string> lines;
    Logger::setSink([&](std::string_view line) {
        std::lock_guard lock(mutex);
        lines.emplace_back(line);
    });
    auto state = open();
    Logger::drain();
    Logger::setSink(nullptr);
    EXPECT_TRUE(state.firstLaunch());
    std::filesystem::path setAsidePath;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        if (entry.path().filename().string().starts_with("settings.json.corrupt-")) setAsidePath = entry.path();
    std::ifstream setAside(setAsidePath);
    std::string kept;
    std::getline(setAside, kept);
    EXPECT_EQ(kept, "FirstLaunch = false");
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[WARNING]: settings file "), std::string::npos) << lines[0];
}

TEST(PersistentStateShared, IsReplaceable) {
    test::TempDir dir;
    auto custom =
        std::make_shared<PersistentState>(std::make_shared<defaults::UserDefaults>(dir.path() / "s.json"));
    PersistentState::replaceShared(custom);
    EXPECT_EQ(PersistentState::shared(), custom);
    PersistentState::replaceShared(nullptr);
    const auto standard = PersistentState::shared();
    EXPECT_NE(standard, custom);
    EXPECT_EQ(standard->defaults().file(), defaults::UserDefaults::standardFile());
    PersistentState::replaceShared(nullptr);
}
