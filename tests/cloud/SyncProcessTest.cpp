#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "SyncDevice.h"

namespace tallowmere {
namespace {

using Links = std::vector<std::string>;

// The other device: the helper program, with XDG folders of its own and the
// test's cloud file as its cloud.
class HelperDevice {
public:
    explicit HelperDevice(const std::filesystem::path& cloudFile) : cloudFile_(cloudFile) {}

    // The helper's output ("read: ...", "starred: ..."); fails the test on a
    // non-zero exit.
    std::string run(const std::string& arguments) {
        const auto home = folder_.path().string();
        const std::string command = "env HOME='" + home + "' XDG_DATA_HOME='" + home + "/data' XDG_CONFIG_HOME='" +
                                    home + "/config' XDG_CACHE_HOME='" + home + "/cache' TALLOWMERE_CLOUD='file:" +
                                    cloudFile_.string() + "?account=alice' '" TALLOWMERE_SYNC_HELPER "' " + arguments;
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = pipe ? pclose(pipe) : -1;
        EXPECT_EQ(status, 0) << arguments << "\n" << output;
        return output;
    }

private:
    std::filesystem::path cloudFile_;
    test::TempDir folder_;
};

TEST(SyncAcrossProcesses, StateTravelsBothWaysBetweenTwoRunningPrograms) {
    test::TempDir cloudFolder;
    test::SyncDevice here(cloudFolder.path());
    HelperDevice there(cloudFolder.path() / "cloud.sqlite");
    const Links links{"a", "b", "c", "d", "e"};
    here.addArticles(links);
    there.run("seed a b c d e");

    here.setRead({"a", "b"}, true);
    here.setStarred({"c"}, true);
    here.upload(false);
    EXPECT_EQ(there.run("download"), "read: a b\nstarred: c\n");

    there.run("read d");
    EXPECT_EQ(there.run("upload"), "read: a b d\nstarred: c\n");
    here.download();
    EXPECT_EQ(here.readLinks(), (Links{"a", "b", "d"}));
    EXPECT_EQ(here.starredLinks(), Links{"c"});
}

}  // namespace
}  // namespace tallowmere
