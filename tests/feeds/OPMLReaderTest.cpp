#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "feeds/OPMLReader.h"
#include "support/TempDir.h"

namespace tallowmere {
// Shows groups readably in failure messages.
static void PrintTo(const OPMLFolder& folder, std::ostream* out) {
    *out << (folder.name ? "\"" + *folder.name + "\"" : "(none)") << ":";
    for (const auto& feed : folder.feeds) *out << " " << feed;
}
}  // namespace tallowmere

using namespace tallowmere;

namespace {

const std::string kHost = "http://loopback.invalid/feeds/";

OPMLFolder folder(std::optional<std::string> name, std::vector<std::string> files) {
    OPMLFolder result{std::move(name), {}};
    for (auto& file : files) result.feeds.push_back(kHost + file);
    return result;
}

std::string describe(const std::vector<OPMLFolder>& folders) {
    std::ostringstream out;
    for (const auto& folder : folders) {
        PrintTo(folder, &out);
        out << "\n";
    }
    return out.str();
}

struct ReadCase {
    const char* fixture;
    std::vector<OPMLFolder> expected;
};

class OPMLReaderFixtures : public ::testing::TestWithParam<ReadCase> {};

TEST_P(OPMLReaderFixtures, ReadsTheGroupsOfListsOtherReadersWrite) {
    const ReadCase& c = GetParam();
    auto read = OPMLReader::read(test::fixturePath(std::string("opml/") + c.fixture));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(read.value(), c.expected) << describe(read.value());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, OPMLReaderFixtures,
    ::testing::Values(
        // Folders with text and title; the feeds of a folder nested in a folder
        // go into the top-level one; top-level feeds keep their place between folders.
        ReadCase{"desktop-nested.opml",
                 {folder("Technology", {"kernel.xml", "compilers.xml", "boards.xml"}),
                  folder(std::nullopt, {"gazette.xml"}), folder("Cooking", {"bread.xml"})}},
        // Title without text names the folder; an empty text is the name even
        // with a title; no name at all puts the feeds at the top level; feeds
        // three deep stay in their top-level folder; groups without any address are dropped.
        ReadCase{
            "server-title-only.opml",
            {folder("Science", {"orbit.xml", "biology.xml", "third-level.xml"}), folder("", {"loose.xml"}),
             folder(std::nullopt, {"nameless.xml"}), folder(std::nullopt, {"top.xml"})}},
        // Everything wrapped in one outline, with a feed directly inside and one a level deeper.
        ReadCase{"wrapped.opml", {folder("Feeds", {"gazette.xml", "bread.xml"})}},
        // A byte-order mark, CRLF line ends, escaped and non-ASCII text.
        ReadCase{"bom-crlf.opml", {OPMLFolder{"Cafés & Bakeries", {kHost + "cafe.xml?lang=fr&page=1"}}}},
        // A bare "&" in a name and in a query, and an HTML entity, are read past.
        ReadCase{"stray-ampersand.opml",
                 {OPMLFolder{"News & Views", {kHost + "search.xml?q=rain&sort=new", kHost + "wire.xml"}}}},
        // Internal entities are expanded, external ones are never fetched.
        ReadCase{"external-entity.opml", {OPMLFolder{"Leak", {kHost + "entity.xml"}}}},
        // A well-formed list that holds no outline yet is an empty import.
        ReadCase{"no-outlines.opml", {}}),
    [](const auto& info) {
        std::string name = info.param.fixture;
        name = name.substr(0, name.find('.'));
        std::erase(name, '-');
        return name;
    });

TEST(OPMLReader, AttributeNamesAreMatchedWithTheirExactCase) {
    auto read = OPMLReader::parse(R"(<opml><body>
        <outline TEXT="Upper"><outline xmlurl="http://a.test/1"/><outline xmlUrl="http://a.test/2"/></outline>
        <outline Title="T"><outline xmlUrl="http://a.test/3"/></outline>
        <outline XMLURL="http://a.test/4"/>
        </body></opml>)",
                                  "inline.opml");
    ASSERT_TRUE(read.ok()) << read.error().message;
    std::vector<OPMLFolder> expected{{std::nullopt, {"http://a.test/2"}}, {std::nullopt, {"http://a.test/3"}}};
    EXPECT_EQ(read.value(), expected) << describe(read.value());
}

TEST(OPMLReader, IgnoresAFoldersOwnAddressAndReadsAnyRootAndBody) {
    // The root's name and version play no part; a body nested anywhere counts.
    auto read = OPMLReader::parse(R"(<subscriptions version="9"><x><body>
        <outline text="F" xmlUrl="http://a.test/folder-itself"><outline xmlUrl="http://a.test/child"/></outline>
        </body></x></subscriptions>)",
                                  "inline.opml");
    ASSERT_TRUE(read.ok()) << read.error().message;
    std::vector<OPMLFolder> expected{{"F", {"http://a.test/child"}}};
    EXPECT_EQ(read.value(), expected);
}

struct FailureCase {
    std::string name;
    std::function<std::filesystem::path(const std::filesystem::path& dir)> make;
    OPMLError::Code code;
};

TEST(OPMLReader, FilesThatAreNoSubscriptionListGiveAClearError) {
    test::TempDir dir;
    auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    std::vector<FailureCase> cases{
        {"missing file", [](auto& d) { return d / "absent.opml"; }, OPMLError::Code::unreadableFile},
        {"a folder", [](auto& d) { return d; }, OPMLError::Code::unreadableFile},
        {"random bytes", [](auto&) { return test::fixturePath("opml/garbage.opml"); }, OPMLError::Code::notXML},
        {"empty file", [&](auto& d) { return write(d / "empty.opml", ""); }, OPMLError::Code::notXML},
        {"plain text", [&](auto& d) { return write(d / "list.txt", "http://a.test/feed.xml\n"); },
         OPMLError::Code::notXML},
        {"a feed, not a list", [](auto&) { return test::fixturePath("opml/not-opml.xml"); },
         OPMLError::Code::notOPML},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::path path = c.make(dir.path());
        auto read = OPMLReader::read(path);
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.error().code, c.code) << read.error().message;
        // The message names the file so the window can show it as it stands.
        EXPECT_NE(read.error().message.find(path.filename().string()), std::string::npos) << read.error().message;
    }
}

TEST(OPMLReader, EntityExpansionIsBounded) {
    // Nested entities that would grow to gigabytes are stopped by the parser.
    auto bomb = OPMLReader::read(test::fixturePath("opml/entity-bomb.opml"));
    ASSERT_FALSE(bomb.ok());
    EXPECT_EQ(bomb.error().code, OPMLError::Code::notXML) << bomb.error().message;

    // Growth the parser allows for a large file still may not exceed the
    // budget when the attributes are read.
    std::string document = "<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY a \"" + std::string(1000, 'a') +
                           "\"><!ENTITY b \"";
    for (int i = 0; i < 10; ++i) document += "&a;";
    document += "\">]><opml><!-- " + std::string(300000, 'p') + " --><body><outline text=\"";
    for (int i = 0; i < 150; ++i) document += "&b;";
    document += "\"><outline xmlUrl=\"http://a.test/x\"/></outline></body></opml>";
    auto grown = OPMLReader::parse(document, "grown.opml");
    ASSERT_FALSE(grown.ok());
    EXPECT_EQ(grown.error().code, OPMLError::Code::unsafeContent) << grown.error().message;
}

TEST(OPMLReader, RefusesFilesBeyondTheSizeLimit) {
    test::TempDir dir;
    std::filesystem::path path = dir.path() / "huge.opml";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<opml><body>";
    }
    std::filesystem::resize_file(path, OPMLReader::maximumFileSize + 1);
    auto read = OPMLReader::read(path);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().code, OPMLError::Code::unreadableFile);
    EXPECT_NE(read.error().message.find("too large"), std::string::npos) << read.error().message;
}

}  // namespace
