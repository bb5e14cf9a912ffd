#include <fstream>
#include <limits>

#include "CloudTestSupport.h"
#include "support/XdgSandbox.h"

namespace tallowmere::test {
namespace {

using cloud::Asset;
using cloud::Date;
using cloud::ErrorCode;
using cloud::FieldValue;
using cloud::Record;
using cloud::RecordID;

static auto* const sandbox = ::testing::AddGlobalTestEnvironment(new XdgSandbox);

class RecordContractTest : public CloudContractTest {};

TEST_P(RecordContractTest, FieldsRoundTripWithTheirKinds) {
    const struct {
        const char* key;
        FieldValue value;
    } cases[] = {
        {"text", std::string("Grüße, 'quoted'; DROP TABLE records; --")},
        {"empty_text", std::string()},
        {"int_min", std::numeric_limits<std::int64_t>::min()},
        {"int_max", std::numeric_limits<std::int64_t>::max()},
        {"one", std::int64_t(1)},
        {"real", 2.5},
        {"yes", true},
        {"no", false},
        {"when", microsecondDate(1'765'000'000'123'456)},
        {"texts", std::vector<std::string>{"a", "", "c"}},
        {"no_texts", std::vector<std::string>{}},
        {"numbers", std::vector<std::int64_t>{std::numeric_limits<std::int64_t>::min(), 0,
                                              std::numeric_limits<std::int64_t>::max()}},
        {"no_numbers", std::vector<std::int64_t>{}},
    };
    Record record("kinds", RecordID("all"));
    for (const auto& c : cases) record.set(c.key, c.value);
    cloudcalls::saveOne(*device()->privateDatabase(), record);

    auto fetched = cloudcalls::fetch(*device()->privateDatabase(), {RecordID("all")});
    ASSERT_FALSE(fetched.error);
    const Record& back = fetched.records.at(RecordID("all"));
    EXPECT_EQ(back.recordType(), "kinds");
    EXPECT_EQ(back.fields().size(), std::size(cases));
    for (const auto& c : cases) {
        ASSERT_NE(back.value(c.key), nullptr) << c.key;
        EXPECT_TRUE(*back.value(c.key) == c.value) << c.key;
    }
    // A Boolean is not a number and a number not a Boolean.
    EXPECT_FALSE(back.get<std::int64_t>("yes"));
    EXPECT_FALSE(back.get<bool>("one"));
    // An empty list is a list, not an absent field.
    EXPECT_EQ(back.get<std::vector<std::int64_t>>("no_numbers"), std::vector<std::int64_t>{});
    EXPECT_EQ(back.value("never_set"), nullptr);
}

TEST_P(RecordContractTest, AssetBytesComeBackAsAReadableFile) {
    const std::string bytes("content\0with zero\nand lines", 27);
    const auto source = folder_.path() / "upload.txt";
    std::ofstream(source, std::ios::binary) << bytes;
    Record record("article", RecordID("with-asset"));
    record.set("content_asset", Asset{source});
    cloudcalls::saveOne(*device()->publicDatabase(), record);
    std::filesystem::remove(source);

    auto fetched = cloudcalls::fetch(*device("bob")->publicDatabase(), {RecordID("with-asset")});
    ASSERT_FALSE(fetched.error);
    const auto asset = fetched.records.at(RecordID("with-asset")).get<Asset>("content_asset");
    ASSERT_TRUE(asset);
    std::ifstream in(asset->fileURL, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), bytes);
}

TEST_P(RecordContractTest, RemovedFieldsGoAndUnsentFieldsStay) {
    auto database = device()->privateDatabase();
    Record record("sync", RecordID("sync_info"));
    record.set("unread_articles_hashes", std::vector<std::int64_t>{1, 2});
    record.set("starred_articles_hashes", std::vector<std::int64_t>{3});
    record.set("note", std::string("keep"));
    cloudcalls::saveOne(*database, record);

    // Fetched with one desired key, changed and saved: the others stay.
    auto partial = cloudcalls::fetch(*database, {RecordID("sync_info")}, std::vector<std::string>{"note"});
    Record change = partial.records.at(RecordID("sync_info"));
    EXPECT_EQ(change.fields().size(), 1u);
    change.remove("note");
    change.set("unread_articles_hashes", std::vector<std::int64_t>{});
    cloudcalls::saveOne(*database, change);

    const Record back = cloudcalls::fetch(*database, {RecordID("sync_info")}).records.at(RecordID("sync_info"));
    EXPECT_EQ(back.value("note"), nullptr);
    EXPECT_EQ(back.get<std::vector<std::int64_t>>("unread_articles_hashes"), std::vector<std::int64_t>{});
    EXPECT_EQ(back.get<std::vector<std::int64_t>>("starred_articles_hashes"), std::vector<std::int64_t>{3});
}

TEST_P(RecordContractTest, MissingIDsArePerItemUnknownItems) {
    auto database = device()->publicDatabase();
    cloudcalls::saveOne(*database, Record("guid", RecordID("present")));
    auto fetched = cloudcalls::fetch(*database, {RecordID("present"), RecordID("gone"), RecordID("never")});
    EXPECT_EQ(fetched.records.size(), 1u);
    EXPECT_EQ(fetched.records.count(RecordID("present")), 1u);
    ASSERT_TRUE(fetched.error);
    EXPECT_EQ(fetched.error->code, ErrorCode::partialFailure);
    for (const char* missing : {"gone", "never"}) {
        const auto* item = fetched.error->partialError(missing);
        ASSERT_NE(item, nullptr) << missing;
        EXPECT_EQ(item->code, ErrorCode::unknownItem);
    }
}

TEST_P(RecordContractTest, StaleChangeTagAndNewNameClashAreRefusedWithTheServerRecord) {
    auto first = device()->privateDatabase();
    auto second = device()->privateDatabase();
    Record made("sync", RecordID("sync_info"));
    made.set("unread_articles_hashes", std::vector<std::int64_t>{1});
    const Record saved = cloudcalls::saveOne(*first, made);

    Record onFirst = cloudcalls::fetch(*first, {RecordID("sync_info")}).records.at(RecordID("sync_info"));
    Record onSecond = cloudcalls::fetch(*second, {RecordID("sync_info")}).records.at(RecordID("sync_info"));
    onFirst.set("unread_articles_hashes", std::vector<std::int64_t>{1, 2});
    const Record winner = cloudcalls::saveOne(*first, onFirst);
    EXPECT_NE(winner.recordChangeTag(), saved.recordChangeTag());

    onSecond.set("unread_articles_hashes", std::vector<std::int64_t>{9});
    Record clash("sync", RecordID("sync_info"));  // a new record under a taken name
    for (Record attempt : {onSecond, clash}) {
        auto result = cloudcalls::save(*second, {attempt});
        EXPECT_TRUE(result.saved.empty());
        ASSERT_TRUE(result.error);
        ASSERT_EQ(result.error->code, ErrorCode::partialFailure);
        const auto* item = result.error->partialError("sync_info");
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->code, ErrorCode::serverRecordChanged);
        ASSERT_TRUE(item->serverRecord);
        EXPECT_EQ(item->serverRecord->recordChangeTag(), winner.recordChangeTag());
        EXPECT_EQ(item->serverRecord->get<std::vector<std::int64_t>>("unread_articles_hashes"),
                  (std::vector<std::int64_t>{1, 2}));
    }

    // Starting again from the server's record succeeds.
    Record retry = *cloudcalls::save(*second, {onSecond}).error->partialError("sync_info")->serverRecord;
    retry.set("unread_articles_hashes", std::vector<std::int64_t>{9});
    EXPECT_EQ(cloudcalls::saveOne(*second, retry).get<std::vector<std::int64_t>>("unread_articles_hashes"),
              std::vector<std::int64_t>{9});
}

TEST_P(RecordContractTest, ServerDatesAreKeptAndModificationDatesRise) {
    auto database = device()->publicDatabase();
    Record record = cloudcalls::saveOne(*database, Record("feed_stats", RecordID("stats")));
    const auto created = record.creationDate();
    ASSERT_TRUE(created && record.modificationDate() && record.recordChangeTag());
    auto previous = *record.modificationDate();
    for (std::int64_t count = 1; count <= 5; ++count) {
        record.set("count", count);
        record = cloudcalls::saveOne(*database, record);
        EXPECT_GT(*record.modificationDate(), previous);
        EXPECT_EQ(record.creationDate(), created);
        previous = *record.modificationDate();
    }
    const Record fetched = cloudcalls::fetch(*database, {RecordID("stats")}).records.at(RecordID("stats"));
    EXPECT_EQ(fetched.modificationDate(), record.modificationDate());
    EXPECT_EQ(fetched.get<std::int64_t>("count"), 5);
}

TEST_P(RecordContractTest, BadInputIsRefusedPerItem) {
    auto database = device()->publicDatabase();
    Record badName("article", RecordID("bad-name"));
    badName.set("feed url", std::string("x"));
    Record tooLarge("article", RecordID("too-large"));
    tooLarge.set("content", std::string(16 * 1024 * 1024 + 1, 'x'));
    Record good("article", RecordID("good"));
    good.set("title", std::string("fine"));

    auto result = cloudcalls::save(*database, {badName, tooLarge, good});
    ASSERT_EQ(result.saved.size(), 1u);
    EXPECT_EQ(result.saved.front().recordID(), RecordID("good"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ErrorCode::partialFailure);
    EXPECT_EQ(result.error->partialError("bad-name")->code, ErrorCode::invalidArguments);
    EXPECT_EQ(result.error->partialError("too-large")->code, ErrorCode::limitExceeded);
}

TEST_P(RecordContractTest, PrivateRecordsBelongToTheirAccount) {
    cloudcalls::saveOne(*device("alice")->privateDatabase(), Record("sync", RecordID("sync_info")));
    auto bobs = cloudcalls::fetch(*device("bob")->privateDatabase(), {RecordID("sync_info")});
    EXPECT_TRUE(bobs.records.empty());
    ASSERT_TRUE(bobs.error);
    EXPECT_EQ(bobs.error->partialError("sync_info")->code, ErrorCode::unknownItem);
    // The same name in bob's private database is his own record.
    cloudcalls::saveOne(*device("bob")->privateDatabase(), Record("sync", RecordID("sync_info")));
}

TEST_P(RecordContractTest, CurrentUserRecordIsMadeOnceAndOnePerAccount) {
    const auto first = cloudcalls::userRecord(*device("alice"));
    const auto again = cloudcalls::userRecord(*device("alice"));
    const auto other = cloudcalls::userRecord(*device("bob"));
    ASSERT_TRUE(first.record && again.record && other.record);
    EXPECT_EQ(first.record->recordID(), again.record->recordID());
    EXPECT_EQ(first.record->recordChangeTag(), again.record->recordChangeTag());
    EXPECT_NE(first.record->recordID(), other.record->recordID());

    // It is a public record the user writes to.
    Record user = *first.record;
    user.set("guid", std::string("6F1C"));
    cloudcalls::saveOne(*device("alice")->publicDatabase(), user);
    EXPECT_EQ(cloudcalls::userRecord(*device("alice")).record->get<std::string>("guid"), "6F1C");
}

INSTANTIATE_TEST_SUITE_P(Backings, RecordContractTest, ::testing::ValuesIn(cloudBackings()), backingName);

}  // namespace
}  // namespace tallowmere::test
