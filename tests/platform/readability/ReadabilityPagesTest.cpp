#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/readability/Readability.h"
#include "support/TempDir.h"

using namespace tallowmere;
using namespace tallowmere::readability;

namespace {

struct PageCase {
    const char* fixture;
    const char* pageURL;
    std::optional<std::string> topImage;
    std::optional<std::string> topVideo;
    std::vector<std::string> inText;     // the article's own sentences
    std::vector<std::string> notInText;  // navigation, sidebars, comments, share bars, footers
};

std::ostream& operator<<(std::ostream& out, const PageCase& page) { return out << page.fixture; }

class RealisticPage : public testing::TestWithParam<PageCase> {};

const PageCase pages[] = {
    {"readability/news-article.html",
     "https://www.meridiancourier.example/news/business/2026/12/10/harbour-cranes-return",
     "https://cdn.meridiancourier.example/images/2026/12/eastport-cranes-1200.jpg",
     std::nullopt,
     {"ending a decade in which the town's deep-water berth stood idle and its container trade moved "
      "south.\n\n"
      "Port officials said",
      "ships of up to 14,000 containers", "nobody is saying that any more",
      "signed a 25-year lease on the berth", "Jobs, traffic and noise",
      "employ about 420 people at the terminal", "noise monitors on the roofs",
      "the restored freight line to the inland depot at Carrow."},
     {"Skip to main content",
      "Subscribe from",
      "Money and markets",
      "Share this story",
      "Share on Facebook",
      "Email this story",
      "Advertisement",
      "Read more",
      "Dredging of the outer channel",
      "Residents fight new lorry route",
      "Worked on the old gantries",
      "freight gets priority on the single track",
      "who pays for the upkeep",
      "Post comment",
      "Most read",
      "Ferry crews vote",
      "morning briefing in your inbox",
      "All rights reserved",
      "We use cookies",
      "Search the Courier",
      "shipping correspondent"}},
    {"readability/blog-post.html",
     "https://crumbandkettle.example/2026/11/28/slow-proofing-sourdough/",
     "https://crumbandkettle.example/wp-content/uploads/2026/11/loaf-crumb-shot.jpg",
     "https://www.youtube.com/embed/Qv7Lr2kXmPa?feature=oembed",
     {"Our kitchen sits above a bicycle shop", "This winter I stopped fighting.",
      "judge the dough by its volume and its wobble", "wholemeal rye\n375 g water at room temperature",
      "fold until the dough feels smooth", "which is the moment to shape."},
     {"Skip to content", "Notes from a small, cold", "Techniques", "Share this:", "Pin it for later",
      "Email a loaf-loving friend", "Rye crackers for a crowd", "Leaving your starter", "Tagged",
      "Oat porridge bread", "thoughts on", "overnight proof in our unheated porch", "spelt flour",
      "Leave a Reply", "Recent Posts", "should really buy a thermometer", "Proudly powered"}},
    {"readability/content-image.html",
     "https://fieldnotes.example/journal/2026/moss-survey.html",
     "https://fieldnotes.example/media/moss/hummock-wide.jpg",
     std::nullopt,
     {"Seven of us climbed to the bog above Harrow Fell", "two that nobody in the valley had recorded before",
      "blocking of the old drainage ditches in 2019", "count squares for a day."},
     {"Journal of the Harrow Valley", "Walks programme", "Send us your records", "Upcoming walks",
      "Fungi in Coldharbour Wood", "registered charity"}},
    {"readability/latin1.html",
     "https://republicain-jura.example/loisirs/2026/09/fete-des-vendanges.html",
     std::nullopt,
     std::nullopt,
     {"près de trois mille visiteurs", "célébrait cette année son cinquantième anniversaire",
      "dès l’aube : dégustation du vin de paille, tartines au comté, gâteaux de ménage",
      "« Nous n’avions jamais vu autant de monde », s’étonne Germaine Clément"},
     {"Édition du matin", "Économie", "Tous droits réservés"}},
    {"readability/inline-data-uri.html",
     "https://bytesized.example/2026/11/inline-icons/",
     "https://bytesized.example/images/2026/requests-before-after.png",
     std::nullopt,
     {"becomes the address "
      "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAC"
      "hwGA60e6kgAAAABJRU5ErkJggg== and the browser decodes it",
      "source attribute:\n\n<img alt=\"ok\" src=\"data:image/png;base64,",
      "three requests instead of seventeen"},
     {"Archive", "Written by Priya Raman", "12 November 2026"}},
};

}  // namespace

TEST_P(RealisticPage, YieldsTheArticleWithoutThePageAroundIt) {
    const PageCase& page = GetParam();
    const ReadabilityResult result = Readability::extract(test::readFixture(page.fixture), page.pageURL);
    ASSERT_TRUE(std::holds_alternative<ReadabilityData>(result));
    const ReadabilityData& data = std::get<ReadabilityData>(result);
    ASSERT_TRUE(data.text.has_value());
    for (const std::string& sentence : page.inText)
        EXPECT_NE(data.text->find(sentence), std::string::npos) << "missing: " << sentence << "\n"
                                                                << *data.text;
    for (const std::string& furniture : page.notInText)
        EXPECT_EQ(data.text->find(furniture), std::string::npos) << "kept: " << furniture << "\n"
                                                                 << *data.text;
    EXPECT_EQ(data.text->find("\n\n\n"), std::string::npos);
    EXPECT_FALSE(isspace(static_cast<unsigned char>(data.text->front())));
    EXPECT_FALSE(isspace(static_cast<unsigned char>(data.text->back())));
    EXPECT_EQ(data.topImage, page.topImage);
    EXPECT_EQ(data.topVideo, page.topVideo);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealisticPage, testing::ValuesIn(pages), [](const auto& info) {
    std::string name = info.param.fixture;
    name = name.substr(name.find('/') + 1);
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});
