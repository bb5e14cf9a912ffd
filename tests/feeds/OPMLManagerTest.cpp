#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "feeds/OPMLManager.h"
#include "foundation/DispatchQueueFactory.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/DataController.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "support/TempDir.h"

using namespace tallowmere;
using Pair = OPMLFeedsAdding::Pair;

namespace {

const std::string kHost = "http://loopback.invalid/feeds/";

// Stands in for the feeds manager: records every batch with the queue that
// asked for it, and answers on a queue of its own, at once or when the test
// lets it.
class RecordingFeeds : public OPMLFeedsAdding {
public:
    explicit RecordingFeeds(bool holdCompletions = false) : hold_(holdCompletions) {}

    void addFeedsAsBatch(std::vector<Pair> pairs, std::function<void()> completion) override {
        std::lock_guard lock(mutex_);
        batches_.push_back(std::move(pairs));
        callerLabels_.emplace_back(dispatch::currentQueueLabel());
        log_.push_back("batch " + std::to_string(batches_.size()));
        if (hold_) {
            held_.push_back(std::move(completion));
        } else {
            answer(std::move(completion), batches_.size());
        }
        changed_.notify_all();
    }

    // Lets the oldest held batch finish its after-add step.
    void releaseOne() {
        std::lock_guard lock(mutex_);
        ASSERT_FALSE(held_.empty());
        answer(std::move(held_.front()), ++released_);
        held_.erase(held_.begin());
    }
    void note(const std::string& event) {
        std::lock_guard lock(mutex_);
        log_.push_back(event);
        changed_.notify_all();
    }
    bool waitForBatches(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return batches_.size() >= count; });
    }
    std::vector<std::vector<Pair>> batches() {
        std::lock_guard lock(mutex_);
        return batches_;
    }
    std::vector<std::string> callerLabels() {
        std::lock_guard lock(mutex_);
        return callerLabels_;
    }
    std::vector<std::string> log() {
        std::lock_guard lock(mutex_);
        return log_;
    }

private:
    void answer(std::function<void()> completion, std::size_t number) {
        queue_->async([this, completion = std::move(completion), number] {
            note("after-add " + std::to_string(number));
            completion();
        });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool hold_;
    std::size_t released_ = 0;
    std::vector<std::vector<Pair>> batches_;
    std::vector<std::string> callerLabels_;
    std::vector<std::string> log_;
    std::vector<std::function<void()>> held_;
    std::unique_ptr<dispatch::SerialQueue> queue_ =
        makeDispatchQueue("feeds_manager_add_feed_queue", QualityOfService::utility);
};

struct ImportOutcome {
    std::atomic<bool> done = false;
    std::optional<OPMLError> error;
    std::string label;
};

class OPMLManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "store" / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        controller = opened.value();
        source = NodesSource::make(controller);
    }
    void TearDown() override {
        manager.reset();
        source.reset();
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
    OPMLManager& make(RecordingFeeds& feeds) {
        manager = std::make_unique<OPMLManager>(feeds, source, controller);
        return *manager;
    }
    void startImport(const std::filesystem::path& file, ImportOutcome& outcome,
                     RecordingFeeds* log = nullptr, const std::string& name = "") {
        manager->importOPML(file, [&outcome, log, name](std::optional<OPMLError> error) {
            outcome.error = std::move(error);
            outcome.label = dispatch::currentQueueLabel();
            if (log) log->note("import done " + name);
            outcome.done = true;
        });
    }
    bool wait(const ImportOutcome& outcome) {
        return dispatch::MainQueue::shared().runUntil([&] { return outcome.done.load(); });
    }

    // Adds nodes as the feeds manager does (background context), saves, and
    // lets the sidebar tree take them in.
    Folder addFolder(const std::string& name) { return source->addFolder(name); }
    Feed addFeed(const std::string& name, const std::string& url, const std::optional<Folder>& in = std::nullopt) {
        return source->addFeed(name, url, std::nullopt, in ? std::optional(in->objectID()) : std::nullopt, false,
                               NewsletterType::none);
    }
    void saveAndSettle() {
        std::atomic<bool> saved = false;
        controller->save([&] { saved = true; });
        ASSERT_TRUE(dispatch::MainQueue::shared().runUntil([&] { return saved.load(); }));
        dispatch::MainQueue::shared().drain();
    }
    std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> source;
    std::unique_ptr<OPMLManager> manager;
};

TEST_F(OPMLManagerTest, ImportsTheGroupsOfAFileAsOneBatchOnItsQueue) {
    RecordingFeeds feeds;
    make(feeds);
    ImportOutcome outcome;
    startImport(test::fixturePath("opml/desktop-nested.opml"), outcome);
    ASSERT_TRUE(wait(outcome));
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.label, OPMLManager::importQueueLabel);
    std::vector<Pair> expected{{kHost + "kernel.xml", "Technology"},
                               {kHost + "compilers.xml", "Technology"},
                               {kHost + "gazette.xml", std::nullopt},
                               {kHost + "bread.xml", "Cooking"}};
    ASSERT_EQ(feeds.batches().size(), 1u);
    EXPECT_EQ(feeds.batches()[0], expected);
    EXPECT_EQ(feeds.callerLabels()[0], OPMLManager::importQueueLabel);
    // The import ended only after the batch's after-add step.
    EXPECT_EQ(feeds.log(), (std::vector<std::string>{"batch 1", "after-add 1"}));
}

TEST_F(OPMLManagerTest, AFileWithoutFeedsStillEndsABatch) {
    RecordingFeeds feeds;
    make(feeds);
    ImportOutcome outcome;
    startImport(test::fixturePath("opml/no-outlines.opml"), outcome);
    ASSERT_TRUE(wait(outcome));
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(feeds.batches(), std::vector<std::vector<Pair>>{{}});
}

TEST_F(OPMLManagerTest, AnUnreadableFileIsReportedAndAddsNothing) {
    RecordingFeeds feeds;
    make(feeds);
    ImportOutcome garbage, missing, good;
    startImport(test::fixturePath("opml/garbage.opml"), garbage);
    startImport(dir.path() / "absent.opml", missing);
    startImport(test::fixturePath("opml/bom-crlf.opml"), good);
    ASSERT_TRUE(wait(good));
    ASSERT_TRUE(garbage.done && missing.done);
    ASSERT_TRUE(garbage.error);
    EXPECT_EQ(garbage.error->code, OPMLError::Code::notXML);
    EXPECT_EQ(garbage.label, OPMLManager::importQueueLabel);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->code, OPMLError::Code::unreadableFile);
    // The failed imports neither added nor waited: the next one runs normally.
    EXPECT_FALSE(good.error);
    ASSERT_EQ(feeds.batches().size(), 1u);
    EXPECT_EQ(feeds.batches()[0],
              (std::vector<Pair>{{kHost + "cafe.xml?lang=fr&page=1", std::string("Cafés & Bakeries")}}));
}

TEST_F(OPMLManagerTest, TwoImportsStartedTogetherRunOneAfterTheOther) {
    RecordingFeeds feeds(/*holdCompletions=*/true);
    make(feeds);
    ImportOutcome first, second;
    startImport(test::fixturePath("opml/desktop-nested.opml"), first, &feeds, "1");
    startImport(test::fixturePath("opml/stray-ampersand.opml"), second, &feeds, "2");
    ASSERT_TRUE(feeds.waitForBatches(1));
    // The second import is queued behind the first, which holds the queue
    // until its after-add step is done.
    EXPECT_EQ(feeds.batches().size(), 1u);
    EXPECT_FALSE(first.done);
    feeds.releaseOne();
    ASSERT_TRUE(feeds.waitForBatches(2));
    feeds.releaseOne();
    ASSERT_TRUE(wait(second));
    EXPECT_EQ(feeds.log(), (std::vector<std::string>{"batch 1", "after-add 1", "import done 1", "batch 2",
                                                     "after-add 2", "import done 2"}));
    EXPECT_EQ(feeds.batches()[1][0].folder, "News & Views");
}

TEST_F(OPMLManagerTest, ExportsTheTreeInSidebarOrderAndImportsItBackTheSame) {
    Folder news = addFolder("News");
    addFeed("Wire", "http://a.test/wire.xml", news);
    addFeed("Solo", "http://a.test/solo.xml");
    Folder tech = addFolder("Tech & Tools");
    addFeed("Compilers", "http://a.test/compilers.xml?a=1&b=2", tech);
    Feed kernel = addFeed("Kernel", "http://a.test/kernel.xml", tech);
    saveAndSettle();
    source->resetSorting();
    // The user's order, not the names', decides.
    ASSERT_TRUE(source->moveNode(tech.objectID(), 0, std::nullopt));
    ASSERT_TRUE(source->moveNode(kernel.objectID(), 0, tech.objectID()));
    dispatch::MainQueue::shared().drain();

    RecordingFeeds feeds;
    make(feeds);
    auto file = dir.path() / "export.opml";
    ASSERT_FALSE(manager->exportOPML(file));
    EXPECT_EQ(contents(file),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<opml version=\"1.0\">\n"
              "  <body>\n"
              "    <outline text=\"Tech &amp; Tools\">\n"
              "      <outline text=\"Kernel\" type=\"rss\" xmlUrl=\"http://a.test/kernel.xml\"/>\n"
              "      <outline text=\"Compilers\" type=\"rss\" xmlUrl=\"http://a.test/compilers.xml?a=1&amp;b=2\"/>\n"
              "    </outline>\n"
              "    <outline text=\"News\">\n"
              "      <outline text=\"Wire\" type=\"rss\" xmlUrl=\"http://a.test/wire.xml\"/>\n"
              "    </outline>\n"
              "    <outline text=\"Solo\" type=\"rss\" xmlUrl=\"http://a.test/solo.xml\"/>\n"
              "  </body>\n"
              "</opml>\n");

    ImportOutcome outcome;
    startImport(file, outcome);
    ASSERT_TRUE(wait(outcome));
    EXPECT_FALSE(outcome.error);
    std::vector<Pair> expected{{"http://a.test/kernel.xml", "Tech & Tools"},
                               {"http://a.test/compilers.xml?a=1&b=2", "Tech & Tools"},
                               {"http://a.test/wire.xml", "News"},
                               {"http://a.test/solo.xml", std::nullopt}};
    EXPECT_EQ(feeds.batches(), std::vector<std::vector<Pair>>{expected});
}

TEST_F(OPMLManagerTest, AnExportThatCannotBeWrittenIsReported) {
    addFeed("Solo", "http://a.test/solo.xml");
    saveAndSettle();
    RecordingFeeds feeds;
    make(feeds);
    auto error = manager->exportOPML(dir.path() / "no-such-folder" / "export.opml");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, OPMLError::Code::writeFailed);
    EXPECT_NE(error->message.find("export.opml"), std::string::npos) << error->message;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));
}

}  // namespace
