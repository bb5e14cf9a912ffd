#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/readability/Readability.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using namespace tallowmere::readability;

namespace {

const std::string kArticle =
    "<p>The committee met for the third time this autumn, and again it failed to agree on the budget, the "
    "timetable or the name of the new bridge across the river.</p>"
    "<p>Councillors said the delay would cost money, although nobody could say how much, and the chair "
    "promised a decision before the end of the year, at the latest in January.</p>"
    "<p>Residents who came to watch left early, some shaking their heads, others laughing, most of them "
    "convinced that the bridge would never be built at all.</p>";

std::string page(const std::string& head, const std::string& body) {
    return "<!DOCTYPE html><html><head>" + head + "</head><body>" + body + "</body></html>";
}

std::string articlePage(const std::string& head, const std::string& insideArticle) {
    return page(head, "<nav><a href='/'>Home</a></nav><article><div class='article-body'>" + kArticle +
                          insideArticle + "</div></article>");
}

ReadabilityData dataOf(const ReadabilityResult& result) {
    EXPECT_TRUE(std::holds_alternative<ReadabilityData>(result));
    if (auto* data = std::get_if<ReadabilityData>(&result)) return *data;
    return {};
}

struct MediaCase {
    const char* name;
    std::string html;
    const char* pageURL;
    std::optional<std::string> topImage;
    std::optional<std::string> topVideo;
};

std::ostream& operator<<(std::ostream& out, const MediaCase& c) { return out << c.name; }

}  // namespace

class TopMedia : public testing::TestWithParam<MediaCase> {};

TEST_P(TopMedia, IsFoundAndMadeAbsolute) {
    const MediaCase& c = GetParam();
    const ReadabilityData data = dataOf(Readability::extract(c.html, c.pageURL));
    EXPECT_EQ(data.topImage, c.topImage);
    EXPECT_EQ(data.topVideo, c.topVideo);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TopMedia,
    testing::Values(
        MediaCase{"OpenGraphBeforeTwitterBeforeImageSrcBeforeContent",
                  articlePage(
                      "<link rel='image_src' href='/thumb.jpg'><meta name='twitter:image' content='/tw.jpg'>"
                      "<meta property='og:image' content='/og.jpg'>",
                      "<img src='/inline.jpg'>"),
                  "https://news.example/a/b.html", "https://news.example/og.jpg", std::nullopt},
        MediaCase{
            "TwitterWhenOpenGraphIsEmpty",
            articlePage("<meta property='og:image' content=''><meta name='twitter:image' content='tw.jpg'>",
                        ""),
            "https://news.example/a/b.html", "https://news.example/a/tw.jpg", std::nullopt},
        MediaCase{"ImageSrcLink", articlePage("<link rel='Image_Src' href='../thumb.jpg'>", ""),
                  "https://news.example/a/b.html", "https://news.example/thumb.jpg", std::nullopt},
        MediaCase{"BaseHrefIsHonoured",
                  articlePage("<base href='https://static.example/assets/'>", "<img src='pics/bridge.jpg'>"),
                  "https://news.example/a/b.html", "https://static.example/assets/pics/bridge.jpg",
                  std::nullopt},
        MediaCase{
            "SmallAndDecorativeImagesAreSkipped",
            articlePage("",
                        "<img src='/px.gif' width='1' height='1'><img class='wp-smiley emoji' src='/e.png'>"
                        "<img src='/icon.png' width='64'><img src='/big.jpg' width='640' height='480'>"),
            "https://news.example/a/b.html", "https://news.example/big.jpg", std::nullopt},
        MediaCase{
            "LazyImageUsesItsRealAddress",
            articlePage("", "<img src='data:image/gif;base64,R0lGODlhAQABAIAAAP///' data-src='/real.jpg'>"),
            "https://news.example/a/b.html", "https://news.example/real.jpg", std::nullopt},
        MediaCase{"DataImageIsNoTopImage", articlePage("", "<img src='data:image/png;base64,iVBORw0KGgo='>"),
                  "https://news.example/a/b.html", std::nullopt, std::nullopt},
        MediaCase{
            "ImageOutsideTheContentIsNoTopImage",
            page("", "<div class='sidebar'><img src='/ad.jpg'></div><article>" + kArticle + "</article>"),
            "https://news.example/a/b.html", std::nullopt, std::nullopt},
        MediaCase{"RelativeImageWithoutPageURLIsDropped", articlePage("", "<img src='pics/bridge.jpg'>"), "",
                  std::nullopt, std::nullopt},
        MediaCase{"OpenGraphVideoUrl",
                  articlePage("<meta property='og:video:url' content='https://videos.example/v/42.mp4'>",
                              "<iframe src='https://www.youtube.com/embed/abc'></iframe>"),
                  "https://news.example/a/b.html", std::nullopt, "https://videos.example/v/42.mp4"},
        MediaCase{
            "SchemeRelativePlayerIframe",
            articlePage("",
                        "<iframe src='https://maps.example/embed?q=bridge'></iframe>"
                        "<div class='video'><iframe src='//player.vimeo.com/video/76979871'></iframe></div>"),
            "https://news.example/a/b.html", std::nullopt, "https://player.vimeo.com/video/76979871"},
        MediaCase{
            "VideoElementSource",
            articlePage("",
                        "<video controls poster='/p.jpg'><source src='/media/clip.webm' type='video/webm'>"
                        "</video>"),
            "https://news.example/a/b.html", std::nullopt, "https://news.example/media/clip.webm"},
        MediaCase{"NonVideoIframeIsNoVideo",
                  articlePage("", "<iframe src='https://maps.example/embed?q=bridge'></iframe>"),
                  "https://news.example/a/b.html", std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadabilityText, KeepsParagraphBreaksOfBrSeparatedPages) {
    const std::string html = page(
        "",
        "<div id='menu'><a href='/'>Home</a> | <a href='/archive'>Archive</a></div>"
        "<div id='story'>The storm reached the coast at dawn, flooding the lower town and closing the "
        "harbour road."
        "<br><br>By noon the water had gone down, leaving mud, seaweed and a fishing boat in the car park."
        "<br>Nobody was hurt.</div>");
    const ReadabilityData data = dataOf(Readability::extract(html, "https://a.example/"));
    EXPECT_EQ(data.text,
              "The storm reached the coast at dawn, flooding the lower town and closing the harbour road.\n\n"
              "By noon the water had gone down, leaving mud, seaweed and a fishing boat in the car park.\n"
              "Nobody was hurt.");
}

TEST(ReadabilityText, GathersSiblingBlocksOfTheArticle) {
    // The article's text is split over several containers of one parent,
    // between a navigation list and a link list.
    std::string blocks;
    for (int i = 0; i < 4; ++i)
        blocks +=
            "<div class='chunk'><p>Block " + std::to_string(i) +
            " tells of the valley, its farms, its mills and its long quarrel with the railway company, which "
            "lasted, on and off, for most of a century.</p></div>";
    const std::string html = page(
        "", "<div id='wrap'><ul><li><a href='/1'>One</a></li><li><a href='/2'>Two</a></li></ul>" + blocks +
                "<div><a href='/x'>Other stories from the valley</a> <a href='/y'>More</a></div></div>");
    const ReadabilityData data = dataOf(Readability::extract(html, "https://a.example/"));
    ASSERT_TRUE(data.text);
    for (int i = 0; i < 4; ++i) EXPECT_NE(data.text->find("Block " + std::to_string(i)), std::string::npos);
    EXPECT_EQ(data.text->find("Other stories"), std::string::npos);
    EXPECT_EQ(data.text->find("One"), std::string::npos);
}

TEST(ReadabilityText, ArticleInsideAFurnitureNamedWrapperIsNotLost) {
    // "with-sidebar" on the wrapper of the whole page must not cut away the article.
    const std::string html =
        page("", "<div class='layout-with-sidebar'><div class='main-column'>" + kArticle +
                     "</div><div class='sidebar'><p>Sidebar sentence that should not be kept in the "
                     "text.</p></div></div>");
    const ReadabilityData data = dataOf(Readability::extract(html, "https://a.example/"));
    ASSERT_TRUE(data.text);
    EXPECT_NE(data.text->find("the name of the new bridge"), std::string::npos);
    EXPECT_EQ(data.text->find("Sidebar sentence"), std::string::npos);
}

struct CharsetCase {
    const char* name;
    std::string bytes;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const CharsetCase& c) { return out << c.name; }

class DeclaredCharset : public testing::TestWithParam<CharsetCase> {};

TEST_P(DeclaredCharset, IsHonoured) {
    const CharsetCase& c = GetParam();
    const ReadabilityData data = dataOf(Readability::extract(c.bytes, "https://a.example/"));
    ASSERT_TRUE(data.text);
    EXPECT_NE(data.text->find(c.expected), std::string::npos) << *data.text;
}

namespace {
const std::string kFiller = " and a sentence long enough to count as a paragraph of text.";

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, DeclaredCharset,
    testing::Values(
        CharsetCase{"MetaCharsetLatin1",
                    page("<meta charset='ISO-8859-1'>", "<p>Caf\xE9 cr\xE8me" + kFiller + "</p>"),
                    "Café crème and"},
        CharsetCase{"Latin1LabelReadAsWindows1252",
                    page("<meta charset=latin1>", "<p>l\x92\xE9t\xE9 \x96 \x93quoted\x94" + kFiller + "</p>"),
                    "l’été – “quoted”"},
        CharsetCase{"HttpEquivWindows1251",
                    page("<meta http-equiv='Content-Type' content='text/html; charset=windows-1251'>",
                         "<p>\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0" + kFiller + "</p>"),
                    "Привет мир"},
        CharsetCase{
            "XmlDeclarationLatin9",
            "<?xml version='1.0' encoding='ISO-8859-15'?>" + page("", "<p>Prix 5 \xA4" + kFiller + "</p>"),
            "Prix 5 €"},
        CharsetCase{"DeclarationAfterALongComment",
                    "<!--" + std::string(3000, '-') + "-->" +
                        page("<meta charset='iso-8859-1'>", "<p>Se\xF1or" + kFiller + "</p>"),
                    "Señor"},
        CharsetCase{"UndeclaredUtf8", page("", "<p>Ünïcödé straße" + kFiller + "</p>"), "Ünïcödé straße"},
        CharsetCase{"UndeclaredInvalidUtf8IsWindows1252", page("", "<p>Caf\xE9" + kFiller + "</p>"), "Café"},
        CharsetCase{"StrayByteInUtf8CostsOneCharacter",
                    page("<meta charset='utf-8'>", "<p>Caf\xE9 then ünïcödé" + kFiller + "</p>"),
                    "Caf\xEF\xBF\xBD then ünïcödé"},
        CharsetCase{"UnknownLabelFallsBackToTheBytes",
                    page("<meta charset='x-no-such-charset'>", "<p>Grüße" + kFiller + "</p>"), "Grüße"},
        CharsetCase{"Utf16WithByteOrderMark", utf16le(page("", "<p>Sixteen bits" + kFiller + "</p>")),
                    "Sixteen bits and"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace tallowmere::readability {
// Names in failure messages.
std::ostream& operator<<(std::ostream& out, ReadabilityError error) {
    switch (error) {
        case ReadabilityError::emptyPage:
            return out << "emptyPage";
        case ReadabilityError::pageTooLarge:
            return out << "pageTooLarge";
        case ReadabilityError::notHTML:
            return out << "notHTML";
        case ReadabilityError::nothingFound:
            return out << "nothingFound";
    }
    return out << "?";
}
}  // namespace tallowmere::readability

struct HostileCase {
    const char* name;
    std::string bytes;
    ReadabilityError error;
    std::size_t paddedTo = 0;  // filled up with text when the test runs, not at start-up
};

std::ostream& operator<<(std::ostream& out, const HostileCase& c) { return out << c.name; }

namespace {
std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random() & 0xFF);
    return out;
}
}  // namespace

class HostileInput : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, GivesNoResult) {
    const HostileCase& c = GetParam();
    std::string bytes = c.bytes;
    if (bytes.size() < c.paddedTo) bytes.append(c.paddedTo - bytes.size(), 'x');
    const ReadabilityResult result = Readability::extract(bytes, "https://a.example/");
    ASSERT_TRUE(std::holds_alternative<ReadabilityError>(result));
    EXPECT_EQ(std::get<ReadabilityError>(result), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileInput,
    testing::Values(
        HostileCase{"Empty", "", ReadabilityError::emptyPage},
        HostileCase{"ElevenMebibytes", "<html><body><p>", ReadabilityError::pageTooLarge, 11 * 1024 * 1024},
        HostileCase{"OneByteOverTheLimit", "", ReadabilityError::pageTooLarge,
                    Readability::maximumPageSize + 1},
        HostileCase{"RandomBytes", randomBytes(64 * 1024, 7), ReadabilityError::notHTML},
        HostileCase{"PngFile", "\x89PNG\r\n\x1a\n" + randomBytes(4096, 9), ReadabilityError::notHTML},
        HostileCase{"ControlCharactersWithoutZeros", std::string(2000, '\x01') + "<p>text</p>",
                    ReadabilityError::notHTML},
        HostileCase{"EmptyDocument", "<html><head></head><body></body></html>",
                    ReadabilityError::nothingFound},
        HostileCase{"WhiteSpaceOnly", "   \n\t  ", ReadabilityError::notHTML},
        HostileCase{"ScriptsAndStylesOnly",
                    page("<style>p{color:red}</style>",
                         "<script>document.write('a long line of text, really');</script>"),
                    ReadabilityError::nothingFound},
        HostileCase{"FeedDocument",
                    "<?xml version='1.0'?><rss version='2.0'><channel><title>T</title></channel></rss>",
                    ReadabilityError::nothingFound}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
std::string nested(const std::string& tag, int depth) {
    std::string html = "<html><body>";
    for (int i = 0; i < depth; ++i) html += "<" + tag + ">";
    return html + "Deep down there is a sentence, with commas, that is long enough to be a paragraph.";
}
}  // namespace

TEST(HostileInput, DeepNestingGivesNoResultAndNoCrash) {
    for (const std::string tag : {"div", "span", "blockquote", "table", "b"}) {
        const ReadabilityResult result = Readability::extract(nested(tag, 200000), "https://a.example/");
        EXPECT_TRUE(std::holds_alternative<ReadabilityError>(result)) << tag;
    }
}

TEST(HostileInput, OrdinaryNestingIsRead) {
    const ReadabilityData data = dataOf(Readability::extract(nested("div", 200), "https://a.example/"));
    EXPECT_EQ(data.text,
              "Deep down there is a sentence, with commas, that is long enough to be a paragraph.");
}

TEST(HostileInput, PageOfExactlyTheLimitIsRead) {
    std::string html = articlePage("", "");
    html.append(Readability::maximumPageSize - html.size(), '\n');
    ASSERT_EQ(html.size(), Readability::maximumPageSize);
    const ReadabilityData data = dataOf(Readability::extract(html, "https://a.example/"));
    EXPECT_TRUE(data.text.has_value());
}

TEST(ReadabilityParse, CallsTheCompletionOnceOnAnotherThread) {
    struct Call {
        std::thread::id thread;
        ReadabilityResult result;
    };
    for (const std::string& bytes :
         {articlePage("", ""), std::string(Readability::maximumPageSize + 1, 'x')}) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        auto promise = std::make_shared<std::promise<Call>>();
        auto future = promise->get_future();
        Readability::parse(bytes, "https://a.example/", [calls, promise](ReadabilityResult result) {
            if (calls->fetch_add(1) == 0) promise->set_value({std::this_thread::get_id(), std::move(result)});
        });
        ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
        const Call call = future.get();
        EXPECT_NE(call.thread, std::this_thread::get_id());
        EXPECT_EQ(std::holds_alternative<ReadabilityData>(call.result), bytes.size() < 1000);
        EXPECT_EQ(calls->load(), 1);
    }
}

TEST(ReadabilityParse, ConcurrentExtractionsGiveTheSameResults) {
    const std::vector<std::string> pages{
        articlePage("<meta property='og:image' content='/a.jpg'>", ""),
        page("<meta charset='iso-8859-1'>", "<p>Caf\xE9" + kFiller + "</p>"),
        articlePage("", "<iframe src='https://www.youtube.com/embed/x'></iframe>")};
    std::vector<std::future<ReadabilityResult>> futures;
    std::vector<std::shared_ptr<std::promise<ReadabilityResult>>> promises;
    for (int round = 0; round < 8; ++round) {
        for (const std::string& bytes : pages) {
            auto promise = std::make_shared<std::promise<ReadabilityResult>>();
            futures.push_back(promise->get_future());
            Readability::parse(bytes, "https://a.example/x/", [promise](ReadabilityResult result) {
                promise->set_value(std::move(result));
            });
        }
    }
    for (std::size_t i = 0; i < futures.size(); ++i) {
        ASSERT_EQ(futures[i].wait_for(30s), std::future_status::ready);
        EXPECT_EQ(futures[i].get(), Readability::extract(pages[i % pages.size()], "https://a.example/x/"));
    }
}

TEST(HostileInput, NoEntityOrDocumentTypeIsLoaded) {
    tallowmere::test::TempDir directory;
    const auto secret = directory.path() / "secret.txt";
    std::ofstream(secret) << "SECRET-FILE-CONTENT";
    const std::string url = "file://" + secret.string();
    const std::string html =
        "<!DOCTYPE html SYSTEM \"" + url + "\" [<!ENTITY xxe SYSTEM \"" + url +
        "\">]><html><body><p>&xxe; Some text that is long enough, with commas, to be read."
        "</p><iframe src='" +
        url + "'></iframe></body></html>";
    const ReadabilityData data = dataOf(Readability::extract(html, "https://a.example/"));
    ASSERT_TRUE(data.text);
    EXPECT_EQ(data.text->find("SECRET"), std::string::npos);
    EXPECT_NE(data.text->find("Some text that is long enough"), std::string::npos);
}

TEST(ReadabilityText, ParagraphsInDivsWithSomeLinksAreKept) {
    std::string body;
    for (int i = 0; i < 5; ++i)
        body +=
            "<div>Line " + std::to_string(i) +
            " of the notice: <a href='/rules'>the rules</a> apply to every stall, with no exceptions.</div>";
    const ReadabilityData data = dataOf(Readability::extract(page("", body), "https://a.example/"));
    ASSERT_TRUE(data.text);
    for (int i = 0; i < 5; ++i) EXPECT_NE(data.text->find("Line " + std::to_string(i)), std::string::npos);
}

TEST(ReadabilityText, DropsTheRepeatedTitleButKeepsSectionHeadings) {
    const std::string html =
        articlePage("<title>Bridge vote delayed again | The Town Crier</title>",
                    "<h2 id='cost'><a href='#cost'>What the delay costs</a></h2>" + kArticle);
    const std::string body = "<div class='article-body'>";
    const std::string withHeadline =
        std::string(html).replace(html.find(body), body.size(), body + "<h1>Bridge vote delayed again</h1>");
    const ReadabilityData data = dataOf(Readability::extract(withHeadline, "https://a.example/"));
    ASSERT_TRUE(data.text);
    EXPECT_EQ(data.text->find("Bridge vote delayed again"), std::string::npos) << *data.text;
    EXPECT_NE(data.text->find("\n\nWhat the delay costs\n\n"), std::string::npos) << *data.text;
}
