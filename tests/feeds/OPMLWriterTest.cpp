#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "feeds/OPMLReader.h"
#include "feeds/OPMLWriter.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<OPMLOutline> sampleTree() {
    return {OPMLOutline::folder("Tech", {OPMLOutline::feed("Kernel & Co", "http://a.test/k?x=1&y=2"),
                                         OPMLOutline::feed("Café \"Nord\"", "http://a.test/cafe")}),
            OPMLOutline::feed("Solo", "http://a.test/solo"), OPMLOutline::folder("Empty", {}),
            OPMLOutline::other("Other")};
}

TEST(OPMLWriter, WritesVersionOneBodyAndAttributesInOrder) {
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<opml version=\"1.0\">\n"
        "  <body>\n"
        "    <outline text=\"Tech\">\n"
        "      <outline text=\"Kernel &amp; Co\" type=\"rss\" xmlUrl=\"http://a.test/k?x=1&amp;y=2\"/>\n"
        "      <outline text=\"Caf\xC3\xA9 &quot;Nord&quot;\" type=\"rss\" xmlUrl=\"http://a.test/cafe\"/>\n"
        "    </outline>\n"
        "    <outline text=\"Solo\" type=\"rss\" xmlUrl=\"http://a.test/solo\"/>\n"
        "    <outline text=\"Empty\"/>\n"
        "    <outline text=\"Other\"/>\n"
        "  </body>\n"
        "</opml>\n";
    EXPECT_EQ(OPMLWriter::serialize(sampleTree()), expected);
}

TEST(OPMLWriter, TextThatXMLCannotHoldStillGivesAReadableFile) {
    test::TempDir dir;
    std::string name = std::string("Bad\x01\x1f bytes \xff\xc3(") + "\xEF\xBF\xBF end\tok";
    auto file = dir.path() / "odd.opml";
    ASSERT_FALSE(OPMLWriter::write({OPMLOutline::folder(name, {OPMLOutline::feed("f", "http://a.test/\x02x")})}, file));
    auto read = OPMLReader::read(file);
    ASSERT_TRUE(read.ok()) << read.error().message;
    ASSERT_EQ(read.value().size(), 1u);
    EXPECT_EQ(read.value()[0].name, "Bad bytes \xEF\xBF\xBD\xEF\xBF\xBD( end\tok");
    EXPECT_EQ(read.value()[0].feeds, std::vector<std::string>{"http://a.test/x"});
}

TEST(OPMLWriter, ReplacesAnExistingFileAndLeavesNothingBeside) {
    test::TempDir dir;
    auto file = dir.path() / "subscriptions.opml";
    std::ofstream(file) << "old contents";
    ASSERT_FALSE(OPMLWriter::write(sampleTree(), file));
    EXPECT_EQ(contents(file), OPMLWriter::serialize(sampleTree()));
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"subscriptions.opml"});
}

TEST(OPMLWriter, AWriteThatCannotBeDoneIsAnErrorAndLeavesNoFile) {
    test::TempDir dir;
    std::ofstream(dir.path() / "plain-file") << "x";
    std::filesystem::create_directory(dir.path() / "taken.opml");
    struct Case {
        const char* name;
        std::filesystem::path target;
    };
    std::vector<Case> cases{
        {"folder missing", dir.path() / "missing" / "out.opml"},
        {"parent is a file", dir.path() / "plain-file" / "out.opml"},
        {"target is a folder", dir.path() / "taken.opml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto error = OPMLWriter::write(sampleTree(), c.target);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, OPMLError::Code::writeFailed);
        EXPECT_NE(error->message.find(c.target.filename().string()), std::string::npos) << error->message;
    }
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"plain-file", "taken.opml"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "taken.opml"));
}

// Restores the file size limit and the signal it raises.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

TEST(OPMLWriter, AFullDiskMidWriteKeepsTheOldFileWhole) {
    test::TempDir dir;
    auto file = dir.path() / "subscriptions.opml";
    std::ofstream(file) << "the previous export";
    std::vector<OPMLOutline> many;
    for (int i = 0; i < 400; ++i)
        many.push_back(OPMLOutline::feed("Feed " + std::to_string(i), "http://a.test/" + std::to_string(i)));
    std::optional<OPMLError> error;
    {
        // The disk "fills up" after 4 KiB: the write stops part-way with an error.
        FileSizeLimit limit(4096);
        error = OPMLWriter::write(many, file);
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, OPMLError::Code::writeFailed);
    EXPECT_EQ(contents(file), "the previous export");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"subscriptions.opml"});
}

TEST(OPMLWriter, WhatItWritesReadsBackAsTheSameGroups) {
    test::TempDir dir;
    auto file = dir.path() / "round.opml";
    ASSERT_FALSE(OPMLWriter::write(sampleTree(), file));
    auto read = OPMLReader::read(file);
    ASSERT_TRUE(read.ok()) << read.error().message;
    // The empty folder and the node that is neither folder nor feed carry no
    // address, so they are not groups of an import.
    std::vector<OPMLFolder> expected{{"Tech", {"http://a.test/k?x=1&y=2", "http://a.test/cafe"}},
                                     {std::nullopt, {"http://a.test/solo"}}};
    EXPECT_EQ(read.value(), expected);
}

}  // namespace
