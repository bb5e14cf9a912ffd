#include <gtest/gtest.h>

#include <QFile>
#include <QFontInfo>
#include <QTextStream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/LogCapture.h"
#include "themes/ColorHelpers.h"
#include "themes/FontMap.h"
#include "themes/ThemeCatalogue.h"
#include "themes_core/ThemeTypeName.h"

using namespace tallowmere;

namespace {

const std::vector<ThemeType> kThemes = {ThemeType::espresso, ThemeType::dark,      ThemeType::cocoa,
                                        ThemeType::latte,    ThemeType::caramel,   ThemeType::raspberry,
                                        ThemeType::mint,     ThemeType::mocha};

std::map<std::string, QColor> rolesOf(const Theme& theme) {
    const ThemeColors& c = theme.colors();
    return {{"windowBackground", c.windowBackground},
            {"separator", c.separator},
            {"rowBorder", c.rowBorder},
            {"feedsButtons", c.feedsButtons},
            {"feedsTopBackground", c.feedsTopBackground},
            {"feedsBottomBackground", c.feedsBottomBackground},
            {"feedsSelectedRow", c.feedsSelectedRow},
            {"feedName", c.feedName},
            {"feedSelectedName", c.feedSelectedName},
            {"articlesBackground", c.articlesBackground},
            {"articlesButtons", c.articlesButtons},
            {"articlesCount", c.articlesCount},
            {"articlesSelectedRow", c.articlesSelectedRow},
            {"articleFeed", c.articleFeed},
            {"articleDate", c.articleDate},
            {"articleTitle", c.articleTitle},
            {"articleTitleUnread", c.articleTitleUnread},
            {"articleCreator", theme.articleCreator()},
            {"articleContent", c.articleContent},
            {"readerBackground", c.readerBackground},
            {"readerButtons", c.readerButtons},
            {"readerFeed", c.readerFeed},
            {"readerTitle", c.readerTitle},
            {"readerCreator", c.readerCreator},
            {"readerContent", c.readerContent},
            {"readerProgress", c.readerProgress},
            {"readerLink", c.readerLink}};
}

// The colour oracle: theme, role, CSS text, computed by Python's colorsys
// from the theme tables (fixtures/themes/generate_theme_colors.py).
std::vector<std::tuple<std::string, std::string, std::string>> oracle() {
    QFile file(QStringLiteral(TALLOWMERE_FIXTURES_DIR "/themes/theme-colors.tsv"));
    std::vector<std::tuple<std::string, std::string, std::string>> rows;
    if (!file.open(QIODevice::ReadOnly)) return rows;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith('#') || line.isEmpty()) continue;
        const QStringList fields = line.split('\t');
        if (fields.size() == 3) {
            rows.emplace_back(fields[0].toStdString(), fields[1].toStdString(), fields[2].toStdString());
        }
    }
    return rows;
}

TEST(ThemeCatalogue, EveryColourOfEveryThemeMatchesAnIndependentConversion) {
    std::map<std::string, std::map<std::string, QColor>> themes;
    for (ThemeType type : kThemes) {
        const ThemePointer theme = ThemeCatalogue::theme(type);
        themes[theme->name()] = rolesOf(*theme);
    }
    const auto rows = oracle();
    ASSERT_EQ(rows.size(), 8U * 27U);
    for (const auto& [theme, role, css] : rows) {
        ASSERT_TRUE(themes.count(theme)) << theme;
        ASSERT_TRUE(themes[theme].count(role)) << role;
        EXPECT_EQ(rgbaString(themes[theme][role]), css) << theme << " " << role;
    }
}

TEST(ThemeCatalogue, SettingsOfEveryTheme) {
    using S = ThemeStyle;
    const std::map<ThemeType, ThemeSettings> expected = {
        {ThemeType::espresso, {true, false, true, true, S::dark, S::light, S::light}},
        {ThemeType::dark, {false, false, false, false, S::dark, S::dark, S::dark}},
        {ThemeType::cocoa, {true, true, true, true, S::dark, S::light, S::light}},
        {ThemeType::latte, {true, false, true, true, S::light, S::light, S::light}},
        {ThemeType::caramel, {true, true, true, true, S::light, S::light, S::light}},
        {ThemeType::raspberry, {true, true, true, true, S::dark, S::light, S::light}},
        {ThemeType::mint, {true, true, true, true, S::dark, S::light, S::light}},
        {ThemeType::mocha, {false, true, true, true, S::dark, S::dark, S::dark}},
    };
    for (const auto& [type, settings] : expected) {
        EXPECT_EQ(ThemeCatalogue::theme(type)->settings(), settings) << themeTypeName(type);
    }
}

struct FontRow {
    ThemeType theme;
    std::vector<CustomFontFamily> custom;
    std::string articleTitle;
    double articleTitleSize;
    std::string readerTitle;
    double readerTitleSize;
};

TEST(ThemeCatalogue, FontNamesSizesAndCustomFamilies) {
    const std::vector<FontRow> rows = {
        {ThemeType::espresso, {}, "AvenirNext-DemiBold", 14, "AvenirNext-Bold", 22},
        {ThemeType::dark, {}, "AvenirNext-DemiBold", 14, "AvenirNext-Bold", 22},
        {ThemeType::cocoa, {{"Oranienbaum", "Oranienbaum.ttf"}}, "Oranienbaum", 14, "Oranienbaum", 22},
        {ThemeType::latte, {}, "AvenirNext-DemiBold", 14, "Avenir Light", 22},
        {ThemeType::caramel,
         {{"Worcestershire_Sauce-Regular", "Worcestershire_Sauce-Regular.ttf"}},
         "AvenirNext-DemiBold",
         14,
         "Worcestershire_Sauce-Regular",
         22},
        {ThemeType::raspberry, {{"BodoniXT", "BodoniXT.ttf"}}, "AvenirNext-DemiBold", 14, "BodoniXT", 22},
        {ThemeType::mint, {}, "AvenirNextCondensed-Medium", 16, "AvenirNextCondensed-Medium", 25},
        {ThemeType::mocha, {{"OstrichSans-Heavy", "OstrichSans-Heavy.otf"}}, "AvenirNext-DemiBold", 14,
         "OstrichSans-Heavy", 25},
    };
    for (const FontRow& row : rows) {
        const ThemePointer theme = ThemeCatalogue::theme(row.theme);
        const ThemeFonts& f = theme->fonts();
        SCOPED_TRACE(theme->name());
        EXPECT_EQ(f.customFontFamilies, row.custom);
        EXPECT_EQ(f.articleTitle.name, row.articleTitle);
        EXPECT_EQ(f.articleTitle.size, row.articleTitleSize);
        EXPECT_EQ(f.readerTitle.name, row.readerTitle);
        EXPECT_EQ(f.readerTitle.size, row.readerTitleSize);
        EXPECT_EQ(f.readerTitle.font.pointSizeF(), row.readerTitleSize);
        // The roles no theme changes.
        const std::vector<std::tuple<const ThemeFont*, double>> unchanged = {
            {&f.feedName, 14}, {&f.articlesCount, 15}, {&f.articleFeed, 12},   {&f.articleDate, 12},
            {&f.articleContent, 12}, {&f.readerFeed, 10}, {&f.readerCreator, 10}, {&f.readerContent, 11},
            {&f.readerLink, 12}};
        for (const auto& [font, size] : unchanged) {
            EXPECT_EQ(font->name, "AvenirNext-Regular");
            EXPECT_EQ(font->size, size);
            EXPECT_EQ(font->font.family(), QStringLiteral("Lato"));
        }
    }
}

TEST(ThemeCatalogue, EveryThemeIsNewAndNamed) {
    const std::vector<std::pair<ThemeType, std::string>> names = {
        {ThemeType::automatic, "Auto"}, {ThemeType::espresso, "Espresso"}, {ThemeType::dark, "Dark"},
        {ThemeType::cocoa, "Cocoa"},    {ThemeType::latte, "Latte"},       {ThemeType::caramel, "Caramel"},
        {ThemeType::raspberry, "Raspberry"}, {ThemeType::mint, "Mint"},    {ThemeType::mocha, "Mocha"}};
    for (const auto& [type, name] : names) EXPECT_EQ(themeTypeName(type), name);
    EXPECT_NE(ThemeCatalogue::theme(ThemeType::mocha), ThemeCatalogue::theme(ThemeType::mocha));
}

// Every substitute face is bundled, registered and picked by the font
// lookup for the name it stands in for.
TEST(FontMap, EverySubstituteLoads) {
    const std::map<std::string, std::pair<QString, int>> expected = {
        {"AvenirNext-Regular", {"Lato", QFont::Normal}},
        {"AvenirNext-DemiBold", {"Lato", QFont::DemiBold}},
        {"AvenirNext-Bold", {"Lato", QFont::Bold}},
        {"Avenir Light", {"Lato", QFont::Light}},
        {"AvenirNextCondensed-Medium", {"Roboto Condensed", QFont::Medium}},
        {"Oranienbaum", {"Solide Mirage", QFont::Normal}},
        {"Worcestershire_Sauce-Regular", {"Lobster Two", QFont::Normal}},
        {"BodoniXT", {"Old Standard TT", QFont::Normal}},
        {"OstrichSans-Heavy", {"Bebas Neue", QFont::Bold}},
    };
    const FontMap& map = FontMap::shared();
    EXPECT_EQ(map.names().size(), expected.size());
    for (const auto& [name, face] : expected) {
        test::LogCapture log;
        const QFont font = map.font(name, 13);
        const QFontInfo info(font);
        EXPECT_EQ(info.family(), face.first) << name;
        EXPECT_EQ(info.weight(), face.second) << name;
        EXPECT_EQ(font.pointSizeF(), 13);
        EXPECT_TRUE(log.lines().empty()) << name;
    }
    EXPECT_EQ(QFontInfo(map.font("Oranienbaum", 12)).styleName(), QStringLiteral("Etroit"));
}

TEST(FontMap, UnmappedNameWarnsAndFallsBack) {
    test::LogCapture log;
    const QFont font = FontMap::shared().font("Helvetica-Oblique", 9);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Lato"));
    EXPECT_EQ(font.pointSizeF(), 9);
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines[0].find("[WARNING]"), std::string::npos);
    EXPECT_NE(lines[0].find("Helvetica-Oblique"), std::string::npos);
}

TEST(FontMap, CustomFontFilesServeTheBundledBytes) {
    const FontMap& map = FontMap::shared();
    for (const char* name : {"Oranienbaum.ttf", "Worcestershire_Sauce-Regular.ttf", "BodoniXT.ttf",
                             "OstrichSans-Heavy.otf", "Lato-Regular.ttf"}) {
        const auto data = map.fileData(name);
        ASSERT_TRUE(data) << name;
        EXPECT_GT(data->size(), 10000) << name;
    }
    EXPECT_EQ(map.fileData("Oranienbaum.ttf"), map.fileData("SolideMirageEtroit.otf"));
    for (const char* name : {"Nothing.ttf", "", "../fonts/Lato-Regular.ttf", "licences/fonts-lato.txt"}) {
        EXPECT_FALSE(map.fileData(name)) << name;
    }
    QFile licence(QStringLiteral(":/fonts/licences/fonts-lato.txt"));
    EXPECT_TRUE(licence.open(QIODevice::ReadOnly));
    EXPECT_TRUE(licence.readAll().contains("OFL"));
}

}  // namespace
