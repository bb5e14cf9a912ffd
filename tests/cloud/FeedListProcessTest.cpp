#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FeedListDevice.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

using Key = ContainerCloudUserManager::GUIDKey;
using Texts = std::vector<std::string>;

// Feed documents on loopback: every path under /feeds/ is a feed of that
// name; the server counts the requests per feed.
class FeedServer {
public:
    FeedServer() {
        server_.server().Get(R"(/feeds/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex_);
                ++fetches_[request.matches[1]];
            }
            response.set_content("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" +
                                     std::string(request.matches[1]) + "</title></channel></rss>",
                                 "application/rss+xml");
        });
        server_.start();
    }
    std::string feed(const std::string& name) const { return server_.url("/feeds/" + name); }
    int fetches(const std::string& name) {
        std::lock_guard lock(mutex_);
        return fetches_[name];
    }

private:
    test::LoopbackServer server_;
    std::mutex mutex_;
    std::map<std::string, int> fetches_;
};

// A device: the helper program with XDG folders of its own and the test's
// cloud file as its cloud.
class HelperDevice {
public:
    explicit HelperDevice(const std::filesystem::path& cloudFile) : cloudFile_(cloudFile) {}

    // The stored feeds after the run, as entry texts; fails the test on a non-zero exit.
    Texts run(const std::string& arguments) {
        const auto home = folder_.path().string();
        const std::string command = "env HOME='" + home + "' XDG_DATA_HOME='" + home + "/data' XDG_CONFIG_HOME='" +
                                    home + "/config' XDG_CACHE_HOME='" + home + "/cache' TALLOWMERE_CLOUD='file:" +
                                    cloudFile_.string() + "?account=alice' '" TALLOWMERE_FEEDLIST_HELPER "' " +
                                    arguments;
        FILE* pipe = popen(command.c_str(), "r");
        Texts lines;
        char buffer[1024];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) {
            std::string line = buffer;
            if (!line.empty() && line.back() == '\n') line.pop_back();
            if (line.starts_with("feed: ")) lines.push_back(line.substr(6));
        }
        const int status = pipe ? pclose(pipe) : -1;
        EXPECT_EQ(status, 0) << arguments;
        return lines;
    }

private:
    std::filesystem::path cloudFile_;
    test::TempDir folder_;
};

Texts sorted(Texts texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

TEST(FeedListsAcrossProcesses, DevicesReconcileTheirFeedsThroughTheRecord) {
    test::TempDir cloudFolder;
    FeedServer server;
    HelperDevice a(cloudFolder.path() / "cloud.sqlite");
    HelperDevice b(cloudFolder.path() / "cloud.sqlite");
    const std::string one = server.feed("one"), two = server.feed("two"), three = server.feed("three");
    auto stored = [&] { return sorted(test::storedList(cloudFolder.path(), Key::feeds)); };

    a.run("add '" + one + "' 'Tech News'");
    a.run("add '" + two + "' '100% Cotton'");
    a.run("add '" + three + "'");
    const Texts record = sorted({one + " Tech%20News", two + " 100%25%20Cotton", three});
    ASSERT_EQ(stored(), record);

    // B's first reconciliation: the record wins over B's own feed.
    EXPECT_EQ(b.run("--cloud-off add '" + server.feed("own") + "'"), Texts{server.feed("own")});
    const int fetchesBefore = server.fetches("one");
    EXPECT_EQ(b.run("sync"), record);
    EXPECT_GT(server.fetches("one"), fetchesBefore) << "B's feed engine fetched the added feeds";
    EXPECT_GT(server.fetches("two"), 1);
    EXPECT_GT(server.fetches("three"), 1);

    // Within seven days, holding only feeds the record has: nothing changes.
    a.run("add '" + server.feed("four") + "'");
    EXPECT_EQ(b.run("--clock-offset=60 sync"), record);

    // A feed added on B with the cloud off survives B's next start and reaches the record.
    b.run("--cloud-off add '" + server.feed("offline") + "' Offline");
    const Texts afterOffline = b.run("--clock-offset=120 sync");
    EXPECT_EQ(afterOffline,
              sorted({one + " Tech%20News", two + " 100%25%20Cotton", three, server.feed("four"),
                      server.feed("offline") + " Offline"}));
    EXPECT_EQ(stored(), afterOffline);

    // A feed deleted on A (after A took over B's feeds) does not come back through B.
    EXPECT_EQ(a.run("--clock-offset=300 sync"), afterOffline);
    a.run("delete '" + two + "'");
    const Texts withoutTwo = sorted({one + " Tech%20News", three, server.feed("four"), server.feed("offline") + " Offline"});
    EXPECT_EQ(stored(), withoutTwo);
    const std::string eightDays = std::to_string(8 * 86400);
    EXPECT_EQ(b.run("--clock-offset=" + eightDays + " sync"), withoutTwo);
    EXPECT_EQ(stored(), withoutTwo);
    EXPECT_EQ(a.run("--clock-offset=" + std::to_string(9 * 86400) + " sync"), withoutTwo);
    EXPECT_EQ(stored(), withoutTwo);
}

}  // namespace
}  // namespace tallowmere
