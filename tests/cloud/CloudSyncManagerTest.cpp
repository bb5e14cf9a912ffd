#include <gtest/gtest.h>

#include "SyncDevice.h"
#include "support/CloudCalls.h"

namespace tallowmere {
namespace {

using cloud::Error;
using cloud::ErrorCode;
using Kind = test::FaultInjectingDatabase::Kind;
using Links = std::vector<std::string>;
using Hashes = std::vector<std::int64_t>;

const Links allLinks{"a", "b", "c", "d", "e"};

class CloudSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        first.addArticles(allLinks);
        second.addArticles(allLinks);
    }
    // The sync record as the cloud holds it.
    cloud::Record storedRecord() {
        auto container = cloud::Container::make(cloud::Configuration::localFile(cloudFolder.path() / "cloud.sqlite", "alice"));
        auto fetched = test::cloudcalls::fetch(*container->privateDatabase(), {cloud::RecordID("sync_info")});
        EXPECT_FALSE(fetched.error);
        return fetched.records.begin()->second;
    }
    void writeRecord(const std::function<void(cloud::Record&)>& change) {
        auto container = cloud::Container::make(cloud::Configuration::localFile(cloudFolder.path() / "cloud.sqlite", "alice"));
        cloud::Record record = storedRecord();
        change(record);
        test::cloudcalls::saveOne(*container->privateDatabase(), record);
    }

    test::TempDir cloudFolder;
    test::SyncDevice first{cloudFolder.path()};
    test::SyncDevice second{cloudFolder.path()};
};

TEST_F(CloudSyncTest, StateMarkedOnOneDeviceReachesTheOther) {
    EXPECT_EQ(first.cloud->notifications->syncSubscriptions.load(), 1);
    first.setRead({"a", "b"}, true);
    first.setStarred({"c"}, true);
    first.upload(false);
    const auto stored = storedRecord();
    EXPECT_EQ(stored.recordType(), "sync");
    EXPECT_EQ(stored.get<Hashes>("starred_articles_hashes"), Hashes{test::linkHash("c")});
    EXPECT_EQ(stored.get<Hashes>("unread_articles_hashes")->size(), 3u);

    second.download();
    EXPECT_EQ(second.readLinks(), (Links{"a", "b"}));
    EXPECT_EQ(second.starredLinks(), Links{"c"});
    EXPECT_EQ(second.sync->syncRecordModificationDate(), stored.modificationDate());
}

TEST_F(CloudSyncTest, ADeviceDoesNotUploadOverANewerRecordUntilItHasDownloadedIt) {
    first.upload(false);
    second.download();
    second.upload(false);  // equal dates: goes ahead
    EXPECT_EQ(second.privateRequests(Kind::modifyRecords), 1);
    second.upload(false);
    EXPECT_EQ(second.privateRequests(Kind::modifyRecords), 2);

    first.setRead({"a"}, true);
    first.download();  // learns the second device's date
    first.setRead({"a"}, true);
    first.upload(false);
    second.setRead({"e"}, true);
    second.upload(false);  // refused: the first device saved later
    EXPECT_EQ(second.privateRequests(Kind::modifyRecords), 2);
    EXPECT_EQ(storedRecord().get<Hashes>("unread_articles_hashes")->size(), 4u);

    second.download();
    EXPECT_EQ(second.readLinks(), (Links{"a", "e"}));  // "e" was read here after the record was saved
    second.upload(false);
    EXPECT_EQ(second.privateRequests(Kind::modifyRecords), 3);
    EXPECT_EQ(storedRecord().get<Hashes>("unread_articles_hashes")->size(), 3u);
}

TEST_F(CloudSyncTest, TheStarredListIsWrittenWhenNotEmptyOrForced) {
    first.upload(false);
    EXPECT_EQ(storedRecord().value("starred_articles_hashes"), nullptr);
    // A user who never starred still gets the read state.
    first.setRead({"d"}, true);
    first.upload(false);
    second.download();
    EXPECT_EQ(second.readLinks(), Links{"d"});

    second.setStarred({"b"}, true);
    second.upload(false);
    EXPECT_EQ(storedRecord().get<Hashes>("starred_articles_hashes"), Hashes{test::linkHash("b")});
    second.setStarred({"b"}, false);
    second.upload(false);  // not forced: the starred list stays
    EXPECT_EQ(storedRecord().get<Hashes>("starred_articles_hashes"), Hashes{test::linkHash("b")});
    second.upload(true);
    EXPECT_EQ(storedRecord().get<Hashes>("starred_articles_hashes"), Hashes{});
}

TEST_F(CloudSyncTest, ListsOfTheWrongKindAreLeftAlone) {
    first.setStarred({"a"}, true);
    first.upload(false);
    writeRecord([](cloud::Record& record) {
        record.set("unread_articles_hashes", std::vector<std::string>{"not", "hashes"});
        record.set("starred_articles_hashes", Hashes{test::linkHash("e")});
    });
    second.setRead({"b"}, true);
    second.download();
    EXPECT_EQ(second.readLinks(), Links{"b"});
    EXPECT_EQ(second.starredLinks(), Links{"e"});
}

TEST_F(CloudSyncTest, AMillionUnreadHashesAreApplied) {
    first.upload(false);
    writeRecord([](cloud::Record& record) {
        Hashes unread;
        unread.reserve(1'000'000);
        for (std::int64_t i = 1; unread.size() < 999'998; ++i) unread.push_back(i * 7919);
        unread.push_back(test::linkHash("b"));
        unread.push_back(test::linkHash("d"));
        record.set("unread_articles_hashes", unread);
    });
    second.download();
    EXPECT_EQ(second.readLinks(), (Links{"a", "c", "e"}));
}

TEST_F(CloudSyncTest, PassingFailuresAreRetriedAndTheCallerHearsOnce) {
    first.cloud->container->privateFaults().failNext(Kind::fetchRecords, 1, Error::make(ErrorCode::networkFailure, "offline"));
    first.cloud->container->privateFaults().failNext(Kind::modifyRecords, 1, Error::make(ErrorCode::zoneBusy, "busy"));
    first.setRead({"c"}, true);
    first.upload(false);
    // The fetch's success in between set the delay back.
    EXPECT_EQ(first.retries.delays(), (std::vector<long>{10, 10}));
    EXPECT_EQ(storedRecord().get<Hashes>("unread_articles_hashes")->size(), 4u);

    // A changed server record is not retried: the date is cleared, so the
    // next upload takes the server's date at its fetch.
    first.cloud->container->privateFaults().failNext(Kind::modifyRecords, 1,
                                                   Error::make(ErrorCode::serverRecordChanged, "changed"));
    first.upload(false);
    EXPECT_EQ(first.sync->syncRecordModificationDate(), std::nullopt);
    first.upload(false);
    EXPECT_TRUE(first.sync->syncRecordModificationDate());
}

TEST(CloudSync, NothingIsAskedWhenSignedOutOrSwitchedOff) {
    test::TempDir cloudFolder;
    test::SyncDevice signedOut(std::make_unique<test::CloudDevice>(cloud::Container::make(cloud::Configuration::none())));
    signedOut.upload(true);
    signedOut.download();
    EXPECT_EQ(signedOut.privateRequests(Kind::fetchRecords), 0);
    EXPECT_EQ(signedOut.cloud->container->userRecordRequests(), 1);

    test::SyncDevice switchedOff(cloudFolder.path());
    switchedOff.cloud->cloudEnabled = false;
    switchedOff.upload(false);
    switchedOff.download();
    EXPECT_EQ(switchedOff.privateRequests(Kind::fetchRecords), 0);
    EXPECT_EQ(switchedOff.privateRequests(Kind::modifyRecords), 0);
}

}  // namespace
}  // namespace tallowmere
