#include "themes/ThemeCatalogue.h"

#include "themes/DefaultColorPalette.h"
#include "themes/DefaultFontDescriptor.h"
#include "themes/FontMap.h"
#include "themes_core/ThemeTypeName.h"

namespace tallowmere {

namespace {

QColor hsb(double h, double s, double b, double a = 1.0) {
    return QColor::fromHsvF(static_cast<float>(h), static_cast<float>(s), static_cast<float>(b), static_cast<float>(a));
}

ThemeFont font(const char* name, double size) { return {name, size, FontMap::shared().font(name, size)}; }

struct Parts {
    ThemeFonts fonts;
    ThemeColors colors;
    QColor articleCreator;
    ThemeSettings settings;
};

ThemeFonts defaultFonts() {
    ThemeFonts f;
    f.feedName = font(DefaultFontDescriptor::regular, 14);
    f.articlesCount = font(DefaultFontDescriptor::regular, 15);
    f.articleFeed = font(DefaultFontDescriptor::regular, 12);
    f.articleDate = font(DefaultFontDescriptor::regular, 12);
    f.articleTitle = font(DefaultFontDescriptor::demiBold, 14);
    f.articleContent = font(DefaultFontDescriptor::regular, 12);
    f.readerFeed = font(DefaultFontDescriptor::regular, 10);
    f.readerTitle = font(DefaultFontDescriptor::bold, 22);
    f.readerCreator = font(DefaultFontDescriptor::regular, 10);
    f.readerContent = font(DefaultFontDescriptor::regular, 11);
    f.readerLink = font(DefaultFontDescriptor::regular, 12);
    return f;
}

Parts defaultParts() {
    using P = DefaultColorPalette;
    Parts parts;
    parts.fonts = defaultFonts();
    ThemeColors& c = parts.colors;
    c.windowBackground = hsb(0.07, 0.02, 0.98);
    c.separator = P::lightGray();
    c.rowBorder = P::gray60();
    c.feedsButtons = P::gray80();
    c.feedsTopBackground = Qt::transparent;
    c.feedsBottomBackground = Qt::transparent;
    c.feedsSelectedRow = P::gray60();
    c.feedName = P::offWhite();
    c.feedSelectedName = P::offWhite();
    c.articlesBackground = hsb(0.07, 0.02, 0.98);
    c.articlesButtons = P::gray60();
    c.articlesCount = P::gray60();
    c.articlesSelectedRow = hsb(0.07, 0.02, 0.9);
    c.articleFeed = P::gray60();
    c.articleDate = P::gray60();
    c.articleTitle = P::gray60();
    c.articleTitleUnread = P::darkBrown();
    parts.articleCreator = P::gray60();
    c.articleContent = P::gray60();
    c.readerBackground = hsb(0.07, 0.02, 0.98);
    c.readerButtons = P::gray60();
    c.readerFeed = P::gray60();
    c.readerTitle = P::darkBrown();
    c.readerCreator = P::gray60();
    c.readerContent = P::gray30();
    c.readerProgress = P::lightGray();
    c.readerLink = P::gray60();
    parts.settings = {true, false, true, true, ThemeStyle::dark, ThemeStyle::light, ThemeStyle::light};
    return parts;
}

void dark(Parts& p) {
    using S = DarkSystemColors;
    ThemeColors& c = p.colors;
    c.windowBackground = S::windowBackground();
    c.separator = S::separator();
    c.feedsButtons = S::text();
    c.feedName = S::text();
    c.feedSelectedName = S::text();
    c.articlesBackground = S::windowBackground();
    c.articlesButtons = S::text();
    c.articlesSelectedRow = S::unemphasizedSelectedTextBackground();
    c.articleTitleUnread = S::text();
    c.readerBackground = S::windowBackground();
    c.readerButtons = S::text();
    c.readerTitle = S::text();
    c.readerContent = S::text();
    c.readerProgress = S::text();
    p.settings = {false, false, false, false, ThemeStyle::dark, ThemeStyle::dark, ThemeStyle::dark};
}

void cocoa(Parts& p) {
    p.fonts.customFontFamilies = {{"Oranienbaum", "Oranienbaum.ttf"}};
    p.fonts.articleTitle = font("Oranienbaum", 14);
    p.fonts.readerTitle = font("Oranienbaum", 22);
    ThemeColors& c = p.colors;
    c.windowBackground = hsb(0.13, 0.01, 0.98);
    c.feedsButtons = hsb(0.5, 0.16, 0.6);
    c.feedsTopBackground = hsb(0.5, 0.16, 0.35);
    c.feedsBottomBackground = hsb(0.5, 0.16, 0.35);
    c.feedsSelectedRow = hsb(0.5, 0.16, 0.45);
    c.feedName = hsb(0.5, 0.05, 1.0, 0.8);
    c.feedSelectedName = hsb(0.5, 0.05, 1.0, 0.8);
    c.articlesBackground = hsb(0.13, 0.01, 0.98);
    c.articlesSelectedRow = hsb(0.13, 0.02, 0.94);
    c.readerBackground = hsb(0.13, 0.01, 0.98);
    p.settings = {true, true, true, true, ThemeStyle::dark, ThemeStyle::light, ThemeStyle::light};
}

void latte(Parts& p) {
    p.fonts.readerTitle = font("Avenir Light", 22);
    ThemeColors& c = p.colors;
    const QColor grey = hsb(0.007, 0.0, 0.74);
    const QColor unread = hsb(0.07, 0.0, 0.45);
    c.windowBackground = Qt::white;
    c.feedsButtons = hsb(0.07, 0.06, 0.5);
    c.feedName = hsb(0.07, 0.06, 0.2);
    c.feedSelectedName = hsb(0.07, 0.06, 0.0);
    c.articlesBackground = Qt::white;
    c.articlesButtons = grey;
    c.articlesCount = grey;
    c.articlesSelectedRow = hsb(0.07, 0.0, 0.97);
    c.articleFeed = grey;
    c.articleDate = grey;
    c.articleTitle = grey;
    c.articleTitleUnread = unread;
    p.articleCreator = grey;
    c.articleContent = grey;
    c.readerBackground = Qt::white;
    c.readerFeed = grey;
    c.readerTitle = unread;
    c.readerCreator = grey;
    c.readerContent = grey;
    p.settings = {true, false, true, true, ThemeStyle::light, ThemeStyle::light, ThemeStyle::light};
}

void caramel(Parts& p) {
    p.fonts.customFontFamilies = {{"Worcestershire_Sauce-Regular", "Worcestershire_Sauce-Regular.ttf"}};
    p.fonts.readerTitle = font("Worcestershire_Sauce-Regular", 22);
    ThemeColors& c = p.colors;
    const QColor sidebar = hsb(0.13, 0.2, 0.96, 0.7);
    const QColor text = hsb(0.13, 0.1, 0.64);
    c.windowBackground = hsb(0.13, 0.01, 0.98);
    c.feedsButtons = hsb(0.13, 0.25, 0.61);
    c.feedsTopBackground = sidebar;
    c.feedsBottomBackground = sidebar;
    c.feedsSelectedRow = sidebar;
    c.feedName = hsb(0.13, 0.5, 0.3);
    c.feedSelectedName = hsb(0.13, 0.5, 0.3);
    c.articlesBackground = hsb(0.13, 0.01, 0.98);
    c.articlesButtons = text;
    c.articlesCount = text;
    c.articlesSelectedRow = hsb(0.13, 0.02, 0.94);
    c.articleFeed = text;
    c.articleDate = text;
    c.articleTitle = text;
    p.articleCreator = text;
    c.articleContent = text;
    c.readerBackground = hsb(0.13, 0.01, 0.98);
    c.readerFeed = text;
    c.readerTitle = hsb(0.13, 0.2, 0.45);
    c.readerCreator = text;
    c.readerContent = text;
    p.settings = {true, true, true, true, ThemeStyle::light, ThemeStyle::light, ThemeStyle::light};
}

void raspberry(Parts& p) {
    p.fonts.customFontFamilies = {{"BodoniXT", "BodoniXT.ttf"}};
    p.fonts.readerTitle = font("BodoniXT", 22);
    ThemeColors& c = p.colors;
    c.windowBackground = hsb(0.13, 0.01, 0.98);
    c.feedsButtons = hsb(273.0 / 360, 0.14, 0.66);
    c.feedsTopBackground = hsb(293.0 / 360, 0.25, 0.31);
    c.feedsBottomBackground = hsb(293.0 / 360, 0.25, 0.31);
    c.feedsSelectedRow = hsb(273.0 / 360, 0.14, 0.51);
    c.feedName = hsb(273.0 / 360, 0.05, 1.0, 0.8);
    c.feedSelectedName = hsb(273.0 / 360, 0.05, 1.0, 0.8);
    c.articlesBackground = hsb(0.13, 0.01, 0.98);
    c.articlesSelectedRow = hsb(0.13, 0.02, 0.94);
    c.readerBackground = hsb(0.13, 0.01, 0.98);
    p.settings = {true, true, true, true, ThemeStyle::dark, ThemeStyle::light, ThemeStyle::light};
}

void mint(Parts& p) {
    p.fonts.articleTitle = font("AvenirNextCondensed-Medium", 16);
    p.fonts.readerTitle = font("AvenirNextCondensed-Medium", 25);
    ThemeColors& c = p.colors;
    const QColor grey = hsb(0.13, 0.0, 0.65);
    c.windowBackground = hsb(0.13, 0.0, 0.98);
    c.feedsButtons = hsb(130.0 / 360, 0.7, 0.65);
    c.feedsTopBackground = hsb(130.0 / 360, 0.8, 0.4);
    c.feedsBottomBackground = hsb(130.0 / 360, 0.8, 0.4);
    c.feedsSelectedRow = hsb(130.0 / 360, 0.7, 0.6);
    c.feedName = hsb(130.0 / 360, 0.25, 1.0, 0.95);
    c.feedSelectedName = hsb(130.0 / 360, 0.25, 1.0, 0.95);
    c.articlesBackground = hsb(0.13, 0.0, 0.98);
    c.articlesButtons = grey;
    c.articlesCount = grey;
    c.articlesSelectedRow = hsb(130.0 / 360, 0.0, 0.94);
    c.articleFeed = grey;
    c.articleDate = grey;
    c.articleTitleUnread = Qt::black;
    p.articleCreator = grey;
    c.articleContent = grey;
    c.readerBackground = hsb(0.13, 0.0, 0.98);
    c.readerFeed = grey;
    c.readerTitle = Qt::black;
    c.readerCreator = grey;
    c.readerContent = grey;
    p.settings = {true, true, true, true, ThemeStyle::dark, ThemeStyle::light, ThemeStyle::light};
}

void mocha(Parts& p) {
    p.fonts.customFontFamilies = {{"OstrichSans-Heavy", "OstrichSans-Heavy.otf"}};
    p.fonts.readerTitle = font("OstrichSans-Heavy", 25);
    ThemeColors& c = p.colors;
    c.windowBackground = hsb(20.0 / 360, 0.2, 0.2);
    c.separator = hsb(0.13, 0.1, 0.1);
    c.feedsButtons = hsb(0.13, 0.0, 0.7);
    c.feedsTopBackground = hsb(120.0 / 360, 0.0, 0.2);
    c.feedsBottomBackground = hsb(120.0 / 360, 0.0, 0.1);
    c.feedsSelectedRow = hsb(120.0 / 360, 0.0, 0.3);
    c.feedName = hsb(20.0 / 360, 0.0, 0.8);
    c.feedSelectedName = hsb(40.0 / 360, 0.0, 1.0);
    c.articlesBackground = hsb(20.0 / 360, 0.2, 0.2);
    c.articlesButtons = hsb(0.13, 0.0, 0.7);
    c.articlesSelectedRow = hsb(0.13, 0.1, 0.23);
    c.articleTitleUnread = hsb(20.0 / 360, 0.0, 0.9);
    c.readerBackground = hsb(20.0 / 360, 0.2, 0.2);
    c.readerButtons = hsb(0.13, 0.0, 0.7);
    c.readerTitle = hsb(0.13, 0.0, 0.9);
    c.readerContent = hsb(0.13, 0.0, 0.7);
    c.readerProgress = hsb(0.13, 0.1, 0.4);
    p.settings = {false, true, true, true, ThemeStyle::dark, ThemeStyle::dark, ThemeStyle::dark};
}

}  // namespace

ThemePointer ThemeCatalogue::theme(ThemeType type) {
    Parts parts = defaultParts();
    switch (type) {
        case ThemeType::automatic:
        case ThemeType::espresso: break;
        case ThemeType::dark: dark(parts); break;
        case ThemeType::cocoa: cocoa(parts); break;
        case ThemeType::latte: latte(parts); break;
        case ThemeType::caramel: caramel(parts); break;
        case ThemeType::raspberry: raspberry(parts); break;
        case ThemeType::mint: mint(parts); break;
        case ThemeType::mocha: mocha(parts); break;
    }
    const ThemeType named = type == ThemeType::automatic ? ThemeType::espresso : type;
    return std::make_shared<const Theme>(themeTypeName(named), std::move(parts.fonts), std::move(parts.colors),
                                         parts.articleCreator, parts.settings);
}

}  // namespace tallowmere
