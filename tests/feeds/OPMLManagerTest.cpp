#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FeedsManagerFixture.h"
#include "feeds/OPMLManager.h"
#include "sources/SearchManagerIndexing.h"
#include "support/TempDir.h"

namespace tallowmere {
namespace {

const std::string kFixtureHost = "http://loopback.invalid";

// Every feed the fixtures name, served as an empty feed titled by its name.
const char* const kServedFeeds[] = {"kernel.xml",  "compilers.xml", "boards.xml",      "gazette.xml",
                                    "bread.xml",   "orbit.xml",     "biology.xml",     "third-level.xml",
                                    "loose.xml",   "nameless.xml",  "top.xml",         "cafe.xml",
                                    "search.xml",  "wire.xml",      "entity.xml",      "quick.xml"};

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The import manager over the real feeds manager, node source and store, with
// feeds served on loopback.
class OPMLManagerTest : public test::FeedsManagerTest {
protected:
    struct ImportOutcome {
        std::atomic<bool> done{false};
        std::atomic<int> calls{0};
        std::optional<OPMLError> error;
        std::size_t feedsAdded = 0;
        std::string queueLabel;
    };

    void SetUp() override {
        test::FeedsManagerTest::SetUp();
        for (const char* name : kServedFeeds) server->setFeed(name, test::servedFeed(name, {}));
        opml = std::make_unique<OPMLManager>(*manager, nodes, dataController);
    }
    void TearDown() override {
        opml.reset();
        waitForSearchQueue();
        test::FeedsManagerTest::TearDown();
    }

    // `onDone` runs inside the completion, on the import queue.
    std::shared_ptr<ImportOutcome> startImport(const std::filesystem::path& file, std::function<void()> onDone = {}) {
        auto outcome = std::make_shared<ImportOutcome>();
        opml->importOPML(file, [outcome, onDone](std::optional<OPMLError> error, std::size_t feedsAdded) {
            outcome->error = std::move(error);
            outcome->feedsAdded = feedsAdded;
            outcome->queueLabel = dispatch::currentQueueLabel();
            if (onDone) onDone();
            ++outcome->calls;
            outcome->done = true;
        });
        return outcome;
    }
    std::shared_ptr<ImportOutcome> importAndWait(const std::filesystem::path& file) {
        auto outcome = startImport(file);
        EXPECT_TRUE(runMainUntil([&] { return outcome->done.load(); })) << file;
        drainMain();
        return outcome;
    }

    // A fixture with its feeds pointed at the loopback server.
    std::filesystem::path servedCopy(const std::string& fixture) {
        std::string text = test::readFixture("opml/" + fixture);
        for (std::size_t at = 0; (at = text.find(kFixtureHost, at)) != std::string::npos;)
            text.replace(at, kFixtureHost.size(), server->url(""));
        return write(fixture, text);
    }
    std::filesystem::path write(const std::string& name, const std::string& text) {
        std::filesystem::path file = dir.path() / name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    // "folder | name | path" per stored feed ("-" for no folder), sorted.
    std::vector<std::string> storedTree() {
        auto lines = inBackground<std::vector<std::string>>([&] {
            std::vector<std::string> result;
            auto fetched = dataController->backgroundContext()->fetch(Feed::fetchRequest());
            if (!fetched.ok()) return result;
            for (const Feed& feed : makeHandles<Feed>(fetched.value())) {
                std::optional<Folder> folder = feed.folder();
                std::string url = feed.url().value_or("");
                if (url.rfind(server->url(""), 0) == 0) url = url.substr(server->url("").size());
                result.push_back((folder ? folder->name().value_or("") : "-") + " | " + feed.name().value_or("") +
                                 " | " + url);
            }
            return result;
        });
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::vector<std::string> folderNames() {
        auto names = inBackground<std::vector<std::string>>([&] {
            std::vector<std::string> result;
            auto fetched = dataController->backgroundContext()->fetch(Folder::fetchRequest());
            if (fetched.ok())
                for (const Folder& folder : makeHandles<Folder>(fetched.value()))
                    result.push_back(folder.name().value_or(""));
            return result;
        });
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<OPMLManager> opml;
};

struct ImportCase {
    const char* fixture;
    std::vector<std::string> tree;     // storedTree() afterwards
    std::vector<std::string> folders;  // folderNames() afterwards
};

class OPMLImportOnLoopback : public OPMLManagerTest, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(OPMLImportOnLoopback, EndsWithTheFoldersAndFeedsOfTheFile) {
    const ImportCase& c = GetParam();
    auto outcome = importAndWait(servedCopy(c.fixture));
    EXPECT_FALSE(outcome->error) << outcome->error->message;
    EXPECT_EQ(outcome->queueLabel, OPMLManager::importQueueLabel);
    EXPECT_EQ(outcome->calls.load(), 1);
    EXPECT_EQ(storedTree(), c.tree);
    EXPECT_EQ(folderNames(), c.folders);
    EXPECT_EQ(outcome->feedsAdded, c.tree.size());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, OPMLImportOnLoopback,
    ::testing::Values(
        // Nested folders with text and title, htmlUrl, a folder inside a folder
        // (its feed goes into the top-level folder).
        ImportCase{"desktop-nested.opml",
                   {"- | gazette.xml | /feeds/gazette.xml", "Cooking | bread.xml | /feeds/bread.xml",
                    "Technology | boards.xml | /feeds/boards.xml",
                    "Technology | compilers.xml | /feeds/compilers.xml",
                    "Technology | kernel.xml | /feeds/kernel.xml"},
                   {"Cooking", "Technology"}},
        // Title without text, outlines three deep, an empty folder name (which
        // the feeds manager files at the top level), groups without addresses.
        ImportCase{
            "server-title-only.opml",
            {"- | loose.xml | /feeds/loose.xml", "- | nameless.xml | /feeds/nameless.xml",
             "- | top.xml | /feeds/top.xml", "Science | biology.xml | /feeds/biology.xml",
             "Science | orbit.xml | /feeds/orbit.xml", "Science | third-level.xml | /feeds/third-level.xml"},
            {"Science"}},
        // Everything wrapped in one outline, as many exports do: no feed is lost.
        ImportCase{"wrapped.opml",
                   {"Feeds | bread.xml | /feeds/bread.xml", "Feeds | gazette.xml | /feeds/gazette.xml"},
                   {"Feeds"}},
        // A byte-order mark and CRLF line ends.
        ImportCase{"bom-crlf.opml",
                   {"Cafés & Bakeries | cafe.xml | /feeds/cafe.xml?lang=fr&page=1"},
                   {"Cafés & Bakeries"}},
        // A stray "&" in a folder name and in an address.
        ImportCase{"stray-ampersand.opml",
                   {"News & Views | search.xml | /feeds/search.xml?q=rain&sort=new",
                    "News & Views | wire.xml | /feeds/wire.xml"},
                   {"News & Views"}},
        // No outlines: nothing added, the import still ends.
        ImportCase{"no-outlines.opml", {}, {}}),
    [](const auto& info) {
        std::string name = info.param.fixture;
        name = name.substr(0, name.find('.'));
        std::erase(name, '-');
        return name;
    });

TEST_F(OPMLManagerTest, AnUnreadableFileIsReportedAndAddsNothing) {
    auto garbage = startImport(test::fixturePath("opml/garbage.opml"));
    auto missing = startImport(dir.path() / "absent.opml");
    auto notOPML = startImport(test::fixturePath("opml/not-opml.xml"));
    // The failed imports neither added nor waited: the next one runs normally.
    auto good = importAndWait(servedCopy("bom-crlf.opml"));
    ASSERT_TRUE(garbage->done && missing->done && notOPML->done);
    ASSERT_TRUE(garbage->error && missing->error && notOPML->error);
    EXPECT_EQ(garbage->error->code, OPMLError::Code::notXML);
    EXPECT_EQ(missing->error->code, OPMLError::Code::unreadableFile);
    EXPECT_EQ(notOPML->error->code, OPMLError::Code::notOPML);
    EXPECT_EQ(garbage->queueLabel, OPMLManager::importQueueLabel);
    EXPECT_NE(garbage->error->message.find("garbage.opml"), std::string::npos) << garbage->error->message;
    EXPECT_FALSE(good->error);
    EXPECT_EQ(storedTree(), std::vector<std::string>{"Cafés & Bakeries | cafe.xml | /feeds/cafe.xml?lang=fr&page=1"});
}

TEST_F(OPMLManagerTest, TwoImportsStartedTogetherRunOneAfterTheOther) {
    test::ServedFeed slow = test::servedFeed("slow.xml", {});
    slow.slow = true;
    server->setFeed("slow.xml", slow);
    auto first = write("first.opml", "<opml><body><outline text=\"A\"><outline xmlUrl=\"" +
                                         server->feedURL("slow.xml") + "\"/></outline></body></opml>");
    auto second = write("second.opml",
                        "<opml><body><outline xmlUrl=\"" + server->feedURL("quick.xml") + "\"/></body></opml>");

    std::atomic<bool> gateOpened{false};
    std::atomic<bool> firstEndedAfterItsFeed{false};
    std::atomic<bool> secondStartedBeforeFirstEnded{true};
    auto firstOutcome = startImport(first, [&] {
        firstEndedAfterItsFeed = gateOpened.load();
        secondStartedBeforeFirstEnded = !server->requests("/feeds/quick.xml").empty();
    });
    auto secondOutcome = startImport(second);

    // The first import's feed is held at the server.
    ASSERT_TRUE(runMainUntil([&] { return server->slowRequestsWaiting() == 1; }));
    gateOpened = true;
    server->openGate();
    ASSERT_TRUE(runMainUntil([&] { return secondOutcome->done.load(); }));
    drainMain();
    ASSERT_TRUE(firstOutcome->done);
    // The first import ended only once its batch was done, and the second
    // began only after that.
    EXPECT_TRUE(firstEndedAfterItsFeed);
    EXPECT_FALSE(secondStartedBeforeFirstEnded);
    EXPECT_EQ(storedTree(), (std::vector<std::string>{"- | quick.xml | /feeds/quick.xml", "A | slow.xml | /feeds/slow.xml"}));
}

TEST_F(OPMLManagerTest, ExportsTheTreeInSidebarOrder) {
    Folder news = nodes->addFolder("News");
    nodes->addFeed("Wire", "http://a.test/wire.xml", std::nullopt, news.objectID(), false, NewsletterType::none);
    nodes->addFeed("Solo", "http://a.test/solo.xml", std::nullopt, std::nullopt, false, NewsletterType::none);
    Folder tech = nodes->addFolder("Tech & Tools");
    nodes->addFeed("Compilers", "http://a.test/compilers.xml?a=1&b=2", std::nullopt, tech.objectID(), false,
                   NewsletterType::none);
    Feed kernel = nodes->addFeed("Kernel", "http://a.test/kernel.xml", std::nullopt, tech.objectID(), false,
                                 NewsletterType::none);
    drainMain();
    nodes->resetSorting();
    // The user's order, not the names', decides.
    ASSERT_TRUE(nodes->moveNode(tech.objectID(), 0, std::nullopt));
    ASSERT_TRUE(nodes->moveNode(kernel.objectID(), 0, tech.objectID()));
    drainMain();

    auto file = dir.path() / "export.opml";
    ASSERT_FALSE(opml->exportOPML(file));
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
}

TEST_F(OPMLManagerTest, ExportThenImportGivesTheSameTree) {
    ASSERT_FALSE(addAndWait(server->feedURL("kernel.xml"), "Tech & Tools"));
    ASSERT_FALSE(addAndWait(server->feedURL("compilers.xml"), "Tech & Tools"));
    ASSERT_FALSE(addAndWait(server->feedURL("wire.xml"), "News"));
    ASSERT_FALSE(addAndWait(server->feedURL("top.xml")));
    drainMain();
    const std::vector<std::string> before = storedTree();
    ASSERT_EQ(before.size(), 4u);

    auto file = dir.path() / "round-trip.opml";
    ASSERT_FALSE(opml->exportOPML(file));
    std::atomic<bool> removed{false};
    nodes->removeAllNodes([&] { removed = true; });
    ASSERT_TRUE(runMainUntil([&] { return removed.load(); }));
    drainMain();
    ASSERT_TRUE(storedTree().empty());

    auto outcome = importAndWait(file);
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(storedTree(), before);
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"News", "Tech & Tools"}));
}

TEST_F(OPMLManagerTest, AnExportThatCannotBeWrittenIsReported) {
    nodes->addFeed("Solo", "http://a.test/solo.xml", std::nullopt, std::nullopt, false, NewsletterType::none);
    drainMain();
    auto error = opml->exportOPML(dir.path() / "no-such-folder" / "export.opml");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, OPMLError::Code::writeFailed);
    EXPECT_NE(error->message.find("export.opml"), std::string::npos) << error->message;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));
}

}  // namespace
}  // namespace tallowmere
