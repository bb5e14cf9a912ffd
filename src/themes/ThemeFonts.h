#pragma once

#include <vector>

#include "themes/CustomFontFamily.h"
#include "themes/ThemeFont.h"

namespace tallowmere {

// The fonts of every text role of a theme.
struct ThemeFonts {
    std::vector<CustomFontFamily> customFontFamilies;
    ThemeFont feedName;
    ThemeFont articlesCount;
    ThemeFont articleFeed;
    ThemeFont articleDate;
    ThemeFont articleTitle;
    ThemeFont articleContent;
    ThemeFont readerFeed;
    ThemeFont readerTitle;
    ThemeFont readerCreator;
    ThemeFont readerContent;
    ThemeFont readerLink;
};

}  // namespace tallowmere
