#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/htmlquery/HTMLDocument.h"
#include "support/TempDir.h"

using tallowmere::htmlquery::HTMLDocument;

namespace {

std::vector<std::string> contents(const HTMLDocument& document, const std::string& expression) {
    std::vector<std::string> values;
    const auto nodes = document.xPath(expression);
    if (!nodes) return values;
    for (const auto& node : *nodes) values.push_back(node.content().value_or("<none>"));
    return values;
}

TEST(HTMLDocumentTest, FindsAlternateFeedLinksInDocumentOrder) {
    const auto document = HTMLDocument::parse(std::string_view(R"(
        <html><head>
          <link rel="stylesheet" href="/style.css">
          <link rel="alternate" type="application/rss+xml" href="/rss.xml">
          <LINK REL="alternate" TYPE="application/atom+xml" HREF="/atom.xml">
          <link rel="Alternate" type="application/rss+xml" href="/wrong-case.xml">
          <link rel="alternate" type="application/json" href="/feed.json">
        </head><body><p>Text</body></html>)"));
    ASSERT_TRUE(document);
    // Element and attribute names are lower-cased by the HTML parser; values stay as written.
    EXPECT_EQ(contents(*document,
                       R"(//link[(@type="application/atom+xml" or @type="application/rss+xml") and @rel="alternate"]/@href)"),
              (std::vector<std::string>{"/rss.xml", "/atom.xml"}));
}

TEST(HTMLDocumentTest, ReadsAttributesOfElementNodes) {
    const auto document = HTMLDocument::parse(std::string_view(
        R"(<link rel="apple-touch-icon" sizes="57x57" href="a.png"><link rel="icon" href="b.ico">)"));
    ASSERT_TRUE(document);
    const auto links = document->xPath(R"(//link[contains(@rel, "icon")])");
    ASSERT_TRUE(links);
    ASSERT_EQ(links->size(), 2u);
    EXPECT_EQ((*links)[0]["href"], "a.png");
    EXPECT_EQ((*links)[0]["sizes"], "57x57");
    EXPECT_EQ((*links)[1]["href"], "b.ico");
    EXPECT_FALSE((*links)[1]["sizes"]);
    EXPECT_EQ((*links)[1].name(), "link");
}

TEST(HTMLDocumentTest, RepairsFragmentsAndMalformedMarkup) {
    const auto fragment = HTMLDocument::parse(std::string_view(R"(<p>Lead <img src="/one.jpg"><div><img src='two.png'></p>)"));
    ASSERT_TRUE(fragment);
    EXPECT_EQ(contents(*fragment, "//img/@src"), (std::vector<std::string>{"/one.jpg", "two.png"}));
}

TEST(HTMLDocumentTest, DecodesTheDeclaredCharacterSet) {
    const std::string latin1 = "<html><head><meta charset=\"iso-8859-1\"></head><body><img alt=\"caf\xE9\"></body></html>";
    const auto document = HTMLDocument::parse(std::string_view(latin1));
    ASSERT_TRUE(document);
    EXPECT_EQ(contents(*document, "//img/@alt"), (std::vector<std::string>{"caf\xC3\xA9"}));
}

TEST(HTMLDocumentTest, InvalidOrNonNodeExpressionsGiveNothing) {
    const auto document = HTMLDocument::parse(std::string_view("<p>x</p>"));
    ASSERT_TRUE(document);
    EXPECT_FALSE(document->xPath("//p[")) << "invalid expression";
    EXPECT_FALSE(document->xPath("count(//p)")) << "a number, not nodes";
    const auto none = document->xPath("//img");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(HTMLDocumentTest, BytesThatAreNotHTMLFindNothing) {
    EXPECT_FALSE(HTMLDocument::parse(std::string_view()));
    const std::vector<std::string> inputs = {
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20),
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title></channel></rss>",
        std::string(1, '\0'),
    };
    for (const auto& input : inputs) {
        const auto document = HTMLDocument::parse(std::string_view(input));
        if (!document) continue;
        const auto links = document->xPath(R"(//link[contains(@rel, "icon")])");
        EXPECT_TRUE(!links || links->empty());
        const auto images = document->xPath("//img/@src");
        EXPECT_TRUE(!images || images->empty());
    }
}

// A page must not make the parser fetch anything: external entities and DTDs stay unread.
TEST(HTMLDocumentTest, NeverReadsExternalResources) {
    tallowmere::test::TempDir folder;
    const auto secret = folder.path() / "secret.txt";
    { std::ofstream(secret) << "SECRET"; }
    const std::string page = "<!DOCTYPE html SYSTEM \"file://" + secret.string() + "\" [<!ENTITY x SYSTEM \"file://" +
                             secret.string() + "\">]><html><body><p title=\"&x;\">&x;</p></body></html>";
    const auto document = HTMLDocument::parse(std::string_view(page));
    ASSERT_TRUE(document);
    for (const auto& value : contents(*document, "//p | //p/@title")) {
        EXPECT_EQ(value.find("SECRET"), std::string::npos) << value;
    }
}

TEST(HTMLDocumentTest, NodesOutliveTheirDocumentObject) {
    std::optional<std::vector<tallowmere::htmlquery::HTMLNode>> nodes;
    {
        const auto document = HTMLDocument::parse(std::string_view("<a href=\"x\">y</a>"));
        ASSERT_TRUE(document);
        nodes = document->xPath("//a");
    }
    ASSERT_TRUE(nodes && nodes->size() == 1);
    EXPECT_EQ((*nodes)[0]["href"], "x");
    EXPECT_EQ((*nodes)[0].content(), "y");
}

}  // namespace
