#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <thread>

#include "CloudTestSupport.h"
#include "support/ScopedEnv.h"
#include "platform/cloud/Log.h"

namespace tallowmere::test {
namespace {

using cloud::Configuration;
using cloud::ErrorCode;
using cloud::Predicate;
using cloud::QuerySubscription;
using cloud::Record;
using cloud::RecordID;

class EmbeddedEngineTest : public ::testing::Test {
protected:
    Configuration configuration(const std::string& account) {
        auto configuration = Configuration::localFile(file(), account);
        configuration.assetCacheDirectory = folder_.path() / "assets";
        return configuration;
    }
    std::filesystem::path file() const { return folder_.path() / "cloud.sqlite"; }
    // Runs raw SQL on the cloud file, as another program would.
    void execute(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file().c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
        sqlite3_close(db);
    }
    static QuerySubscription articles(const std::string& feed) {
        QuerySubscription subscription;
        subscription.subscriptionID = "new_article";
        subscription.recordType = "article";
        subscription.predicate = Predicate::in("feed_url", {feed});
        subscription.options = cloud::firesOnRecordCreation;
        subscription.notificationInfo.desiredKeys = std::vector<std::string>{"title"};
        return subscription;
    }

    TempDir folder_;
};

TEST_F(EmbeddedEngineTest, AFileThatIsNotACloudDatabaseAnswersUnavailableAfterOneLogLine) {
    std::ofstream(file()) << "this is a text file, not a database, and long enough to have a header......";
    std::vector<std::string> lines;
    std::mutex mutex;
    cloud::Log::setHandler([&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    });
    auto container = cloud::Container::make(configuration("alice"));
    const auto fetched = cloudcalls::fetch(*container->publicDatabase(), {RecordID("x")});
    const auto saved = cloudcalls::save(*container->privateDatabase(), {Record("sync", RecordID("x"))});
    const auto user = cloudcalls::userRecord(*container);
    cloud::Log::setHandler(nullptr);
    for (const auto& error : {fetched.error, saved.error, user.error}) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, ErrorCode::serviceUnavailable);
    }
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(EmbeddedEngineTest, ADeletedCachedAssetIsWrittenAgain) {
    const auto source = folder_.path() / "content.html";
    std::ofstream(source) << "<p>mirrored</p>";
    auto container = cloud::Container::make(configuration("alice"));
    Record record("article", RecordID("a"));
    record.set("content_asset", cloud::Asset{source});
    const Record saved = cloudcalls::saveOne(*container->publicDatabase(), record);
    const auto cached = saved.get<cloud::Asset>("content_asset")->fileURL;
    ASSERT_TRUE(std::filesystem::remove(cached));

    const auto fetched = cloudcalls::fetch(*container->publicDatabase(), {RecordID("a")});
    const auto again = fetched.records.at(RecordID("a")).get<cloud::Asset>("content_asset")->fileURL;
    std::ifstream in(again);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "<p>mirrored</p>");
}

TEST_F(EmbeddedEngineTest, PushRowsOfUnknownSubscriptionsOrUnreadablePayloadsAreIgnored) {
    auto reader = cloud::Container::make(configuration("alice"));
    PushInbox inbox;
    reader->startPushDelivery(inbox.handler());
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*reader->publicDatabase(), {articles("feed/one")}));
    execute(
        "INSERT INTO pushes(account, writer, db, subscription, payload) VALUES"
        " ('alice', 'elsewhere', 1, 'ghost', '{\"subscription\":\"ghost\",\"scope\":1,\"name\":\"g\","
        "\"zone\":\"_defaultZone\",\"fields\":{}}'),"
        " ('alice', 'elsewhere', 1, 'new_article', 'garbage')");
    auto writer = cloud::Container::make(configuration("outside"));
    Record article("article", RecordID("real"));
    article.set("feed_url", std::string("feed/one"));
    cloudcalls::saveOne(*writer->publicDatabase(), article);
    const auto received = inbox.waitFor(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].recordID, RecordID("real"));
}

TEST_F(EmbeddedEngineTest, AnotherProcessesSaveReachesThisProcessAsAPush) {
    auto reader = cloud::Container::make(configuration("alice"));
    PushInbox inbox;
    reader->startPushDelivery(inbox.handler());
    ASSERT_FALSE(cloudcalls::saveSubscriptions(*reader->publicDatabase(), {articles("feed/one")}));

    // Both processes write at once: the file's locks keep every save.
    const std::string command = std::string("'") + TALLOWMERE_CLOUD_HELPER + "' '" + file().string() +
                                "' outside stamp article 20 0 feed_url=feed/one title=Pushed";
    int status = -1;
    std::thread helper([&] { status = std::system(command.c_str()); });
    for (int i = 0; i < 20; ++i) {
        Record mine("article", RecordID("mine-" + std::to_string(i)));
        mine.set("feed_url", std::string("feed/two"));
        cloudcalls::saveOne(*reader->publicDatabase(), mine);
    }
    helper.join();
    EXPECT_EQ(status, 0);
    const auto received = inbox.waitFor(20);
    ASSERT_EQ(received.size(), 20u);
    EXPECT_EQ(received[0].recordID, RecordID("stamp-0"));
    EXPECT_EQ(std::get<std::string>(received[0].recordFields.at("title")), "Pushed");
    EXPECT_EQ(cloudcalls::queryAll(*reader->publicDatabase(), cloud::Query("article")).size(), 40u);
}

TEST_F(EmbeddedEngineTest, AnotherProcessesSyncedValueReachesTheObserver) {
    auto device = cloud::Container::make(configuration("alice"));
    std::promise<void> seen;
    auto token = device->syncedStore()->addExternalChangeObserver([&](const defaults::SyncedStoreChange&) {
        if (device->syncedStore()->object("Theme")) seen.set_value();
    });
    const std::string command =
        std::string("'") + TALLOWMERE_CLOUD_HELPER + "' '" + file().string() + "' alice set Theme Mint";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(seen.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(device->syncedStore()->object("Theme")->asString(), "Mint");
}

TEST(CloudConfigurationTest, TextFormsAndTheEnvironmentOverride) {
    ScopedEnv noOverride(Configuration::environmentVariable, nullptr);
    const struct {
        const char* text;
        Configuration::Kind kind;
        const char* file;
        const char* account;
    } cases[] = {
        {"", Configuration::Kind::none, "", ""},
        {" none ", Configuration::Kind::none, "", ""},
        {"postgresql://cloud@localhost/tallowmere", Configuration::Kind::postgres, "", ""},
        {"postgres://h/db", Configuration::Kind::postgres, "", ""},
        {"file:/tmp/c.sqlite?account=bob", Configuration::Kind::localFile, "/tmp/c.sqlite", "bob"},
        {"/tmp/c.sqlite", Configuration::Kind::localFile, "/tmp/c.sqlite", nullptr},
    };
    for (const auto& c : cases) {
        const auto configuration = Configuration::resolve(std::string(c.text));
        EXPECT_EQ(configuration.kind, c.kind) << c.text;
        EXPECT_EQ(configuration.file, std::filesystem::path(c.file)) << c.text;
        if (c.kind == Configuration::Kind::localFile) {
            EXPECT_EQ(configuration.account, c.account ? c.account : Configuration::loginName()) << c.text;
        }
    }
    ScopedEnv override(Configuration::environmentVariable, "file:/tmp/env.sqlite?account=carol");
    const auto overridden = Configuration::resolve(std::string("none"));
    EXPECT_EQ(overridden.kind, Configuration::Kind::localFile);
    EXPECT_EQ(overridden.account, "carol");
}

}  // namespace
}  // namespace tallowmere::test
