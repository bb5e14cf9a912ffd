#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/graph/Value.h"
#include "themes/CustomFontFamily.h"
#include "themes/Theme.h"

namespace tallowmere {

class Article;

// One built reader page; `needsMedia` when the article had no top video or
// image, so its web page is to be read for them.
struct ReaderPage {
    std::string html;
    bool needsMedia = false;
};

// Turns an article into the reader's page by filling the page template with
// the theme's fonts and colours and the article's values.
class ReaderPageBuilder {
public:
    // The template's keys that are not named after a theme value.
    struct Key {
        static constexpr const char* date = "DATE_TEXT";
        static constexpr const char* title = "TITLE_TEXT";
        static constexpr const char* fullArticle = "FULL_ARTICLE_TEXT";
        static constexpr const char* bodyColor = "BACKGROUND_COLOR";
        static constexpr const char* topVideo = "VIDEO_SOURCE";
        static constexpr const char* topImage = "IMAGE_SOURCE";
    };
    // The key of the full-article link's text in the controller's table.
    static constexpr const char* fullArticleTextKey = "show_full_article";

    ReaderPageBuilder() = delete;

    // The template text, read once from the resources.
    static const std::string& articlePageTemplate();
    // Long date and short time in the current locale.
    static std::string dateText(graph::Date date);
    // The shortest text that reads back to the size, always with a fraction ("22.0").
    static std::string fontSizeText(double size);
    static std::string fontFaceRules(const std::vector<CustomFontFamily>& families);

    // The placeholder values for an article's values; nothing without feed
    // name, date, title or text. Runs inside the article's context.
    struct ArticleValues {
        std::string feedName;
        graph::Date date;
        std::string title;
        std::string creator;
        std::string content;
        std::optional<std::string> topVideo;
        std::optional<std::string> topImage;
    };
    static std::map<std::string, std::string> values(const Theme& theme, const ArticleValues& article,
                                                     bool showFullArticleLink, bool showTopMedia,
                                                     const std::string& fullArticleText);

    // Builds the page inside the article's context; nothing without a
    // context or when a value the page needs is missing. `text` (already with
    // "<br>" line breaks) wins over the stored text when not empty.
    static std::optional<ReaderPage> build(const Theme& theme, const Article& article, const std::optional<std::string>& text,
                                           bool showFullArticleLink, bool showTopMedia);
};

}  // namespace tallowmere
