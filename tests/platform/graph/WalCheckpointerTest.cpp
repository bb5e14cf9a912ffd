#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "GraphTestModel.h"
#include "platform/graph/WalCheckpointer.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {
constexpr std::uintmax_t pageSize = 8192;

std::uintmax_t sizeOf(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return error ? 0 : size;
}

// Text that compresses poorly, so that the rows fill the log as a real
// article's body does.
std::string noise(std::mt19937& random, std::size_t length) {
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text(length, ' ');
    for (auto& c : text) c = static_cast<char>(letter(random));
    return text;
}

bool waitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
}  // namespace

using WalCheckpointerTest = GraphTest;

// A stream of saves while another context keeps reading (the first refresh
// of many feeds): the log is copied back and started over as it goes, so it
// stays near its limit instead of growing with everything ever written.
TEST_F(WalCheckpointerTest, LogStaysBoundedWhileSavesStreamAndAnotherContextReads) {
    const auto log = dir.path() / "store.sqlite-wal";
    const auto file = dir.path() / "store.sqlite";
    const std::uintmax_t limit = WalCheckpointer::pagesBeforeTruncate * pageSize;
    auto writer = container->newPrivateContext();
    auto reader = container->newPrivateContext();
    std::mt19937 random(7);
    ObjectID feedID;
    writer->performAndWait([&] {
        auto feed = writer->insert("Feed");
        ASSERT_TRUE(writer->save().ok());
        feedID = feed->objectID();
    });
    std::uintmax_t largestLog = 0;
    std::size_t written = 0;
    FetchRequest recent("Article");
    recent.sortDescriptors = {SortDescriptor{"date", false}};
    recent.fetchLimit = 20;
    while (written < 3 * limit) {
        writer->performAndWait([&] {
            auto feed = writer->object(feedID);
            for (int i = 0; i < 200; ++i) {
                auto article = writer->insert("Article");
                article->setString("body", noise(random, 4000));
                article->setDate("date", Date{static_cast<double>(written + i)});
                article->setToOne("feed", feed);
            }
            ASSERT_TRUE(writer->save().ok());
        });
        written += 200 * 4000;
        reader->performAndWait([&] {
            auto rows = reader->fetch(recent);
            ASSERT_TRUE(rows.ok());
            for (const auto& article : rows.value()) article->value("body");
        });
        largestLog = std::max(largestLog, sizeOf(log));
    }
    EXPECT_LT(largestLog, 2 * limit);
    // Copied while the store is open, not only when it closes.
    EXPECT_TRUE(waitUntil([&] { return sizeOf(file) > limit; })) << sizeOf(file);
}
