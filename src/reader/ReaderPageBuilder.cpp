#include "reader/ReaderPageBuilder.h"

#include <charconv>
#include <memory>
#include <mutex>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "foundation/Localization.h"
#include "foundation/Logger.h"
#include "foundation/Resources.h"
#include "reader/PageTemplate.h"
#include "reader/ReaderHTML.h"
#include "store/Article.h"
#include "store/Feed.h"
#include "themes/ColorHelpers.h"

namespace tallowmere {

namespace {

constexpr const char* kTemplatePath = "reader/ArticlePageHTML.html";
constexpr const char* kControllerTable = "ReaderViewController";

std::string quotedFontName(const ThemeFont& font) { return "\"" + font.name + "\""; }

}  // namespace

const std::string& ReaderPageBuilder::articlePageTemplate() {
    static const std::string text = [] {
        const auto data = Resources::data(kTemplatePath);
        if (!data) {
            Logger::error([] { return std::string("The reader page template is missing from the resources"); });
            std::abort();  // a packaging fault: the program cannot show any article
        }
        return std::string(*data);
    }();
    return text;
}

std::string ReaderPageBuilder::dateText(graph::Date date) {
    // ICU formatters are not safe to share between threads; the reader builds on the main thread.
    static std::mutex mutex;
    static std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kLong, icu::DateFormat::kShort, icu::Locale::getDefault()));
    std::lock_guard lock(mutex);
    if (!formatter) return {};
    icu::UnicodeString text;
    formatter->format(static_cast<UDate>(date.seconds * 1000.0), text);
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::string ReaderPageBuilder::fontSizeText(double size) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, size).ptr;
    std::string text(buffer, end);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

std::string ReaderPageBuilder::fontFaceRules(const std::vector<CustomFontFamily>& families) {
    std::string rules;
    for (const auto& family : families)
        rules += "@font-face{font-family:'" + family.family + "';src:local('" + family.family + "'),url('Fonts/" +
                 family.filename + "');}";
    return rules;
}

std::map<std::string, std::string> ReaderPageBuilder::values(const Theme& theme, const ArticleValues& article,
                                                             bool showFullArticleLink, bool showTopMedia,
                                                             const std::string& fullArticleText) {
    const ThemeFonts& fonts = theme.fonts();
    const ThemeColors& colors = theme.colors();
    std::map<std::string, std::string> map{
        {"CUSTOM_FONT_FACES", fontFaceRules(fonts.customFontFamilies)},
        {"SEPARATOR_COLOR", rgbaString(colors.separator)},
        {"FEED_FONT_NAME", quotedFontName(fonts.readerFeed)},
        {"FEED_FONT_SIZE", fontSizeText(fonts.readerFeed.size)},
        {"FEED_COLOR", rgbaString(colors.readerFeed)},
        {"TITLE_FONT_NAME", quotedFontName(fonts.readerTitle)},
        {"TITLE_FONT_SIZE", fontSizeText(fonts.readerTitle.size)},
        {"TITLE_COLOR", rgbaString(colors.readerTitle)},
        {"CREATOR_FONT_NAME", quotedFontName(fonts.readerCreator)},
        {"CREATOR_FONT_SIZE", fontSizeText(fonts.readerCreator.size)},
        {"CREATOR_COLOR", rgbaString(colors.readerCreator)},
        {"CONTENT_FONT_NAME", quotedFontName(fonts.readerContent)},
        {"CONTENT_FONT_SIZE", fontSizeText(fonts.readerContent.size)},
        {"CONTENT_COLOR", rgbaString(colors.readerContent)},
        {"FEED_TEXT", ReaderHTML::escapedText(article.feedName)},
        {Key::date, ReaderHTML::escapedText(dateText(article.date))},
        {Key::title, ReaderHTML::escapedText(article.title)},
        {"CREATOR_TEXT", ReaderHTML::escapedText(article.creator)},
        {"CONTENT_TEXT", ReaderHTML::sanitizedContent(article.content)},
        {Key::fullArticle, showFullArticleLink ? ReaderHTML::escapedText(fullArticleText) : std::string()},
        {"TOP_VIDEO_VISIBILITY", "hide"},
        {"IMAGE_BLEND_MODE", theme.settings().multiplyImages ? "multiply" : "normal"},
    };
    // The page paints the material itself rather than showing the view behind
    // it: once a page with a background of its own was shown, the web engine
    // fills a see-through page with white, whatever the view shows.
    map[Key::bodyColor] = rgbaString(theme.settings().useReaderBackgroundColor
                                         ? colors.readerBackground
                                         : contentMaterial(theme.settings().readerStyle));
    if (showTopMedia) {
        if (article.topVideo) {
            map[Key::topVideo] = ReaderHTML::escapedText(*article.topVideo);
            map["TOP_VIDEO_VISIBILITY"] = "show";
        } else if (article.topImage) {
            map[Key::topImage] = ReaderHTML::escapedText(*article.topImage);
        }
    }
    return map;
}

std::optional<ReaderPage> ReaderPageBuilder::build(const Theme& theme, const Article& article,
                                                   const std::optional<std::string>& text, bool showFullArticleLink,
                                                   bool showTopMedia) {
    graph::Context* context = article.context();
    if (!context) return std::nullopt;
    std::optional<ReaderPage> page;
    const std::string fullArticleText = Localization::shared()->localized(kControllerTable, fullArticleTextKey);
    context->performAndWait([&] {
        if (article.isDeleted()) return;
        const std::optional<Feed> feed = article.feed();
        std::optional<std::string> feedName = feed ? feed->name() : std::nullopt;
        const auto date = article.date();
        auto title = article.title();
        if (!feedName || !date || !title) return;
        std::optional<std::string> content = text && !text->empty() ? text : article.textContent();
        if (!content) return;
        ArticleValues values{std::move(*feedName), *date, std::move(*title), article.creator().value_or(""),
                             std::move(*content), article.topVideo(), article.topImage()};
        const bool needsMedia = showTopMedia && !values.topVideo && !values.topImage;
        page = ReaderPage{
            PageTemplate::fill(articlePageTemplate(),
                               ReaderPageBuilder::values(theme, values, showFullArticleLink, showTopMedia, fullArticleText)),
            needsMedia};
    });
    return page;
}

}  // namespace tallowmere
