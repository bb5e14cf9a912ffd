#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "themes/ColorHelpers.h"

using namespace tallowmere;

namespace {

TEST(ColorHelpers, RgbaString) {
    const std::vector<std::pair<QColor, std::string>> cases = {
        {QColor::fromRgbF(1, 0, 0, 1), "rgba(255,0,0,1.0)"},
        {QColor::fromRgbF(0.5F, 0.5F, 0.5F, 1), "rgba(127,127,127,1.0)"},  // truncated, not rounded
        {QColor::fromRgbF(0, 0, 1, 0.4F), "rgba(0,0,255,0.4)"},
        {QColor(Qt::transparent), "rgba(0,0,0,0.0)"},
        {QColor::fromHsvF(0.07F, 0.0F, 0.6F, 1.0F), "rgba(153,153,153,1.0)"},
        // Colours in other models (CMYK, HSL) are converted to sRGB first.
        {QColor::fromCmykF(0, 0, 0, 0), "rgba(255,255,255,1.0)"},
        {QColor::fromHslF(0, 0, 0.5F), "rgba(127,127,127,1.0)"},
        {QColor(), ""},
    };
    for (const auto& [colour, css] : cases) EXPECT_EQ(rgbaString(colour), css) << css;
}

TEST(ColorHelpers, LighterAndDarkerStepTheBrightnessAndClamp) {
    struct Case {
        float value;
        float lighter;
        float darker;
    };
    for (const Case& c : std::vector<Case>{{0.9F, 1.0F, 0.7F}, {0.1F, 0.3F, 0.0F}, {0.5F, 0.7F, 0.3F},
                                           {1.0F, 1.0F, 0.8F}, {0.0F, 0.2F, 0.0F}}) {
        const QColor colour = QColor::fromHsvF(0.5F, 0.4F, c.value, 0.6F);
        const auto light = lighter(colour);
        const auto dark = darker(colour);
        ASSERT_TRUE(light && dark);
        EXPECT_NEAR(light->valueF(), c.lighter, 1e-3) << c.value;
        EXPECT_NEAR(dark->valueF(), c.darker, 1e-3) << c.value;
        EXPECT_NEAR(light->alphaF(), 0.6, 1e-3);
        if (c.value > 0.0F && c.value < 0.9F) {
            EXPECT_NEAR(light->hsvHueF(), 0.5, 1e-3);
            EXPECT_NEAR(light->hsvSaturationF(), 0.4, 1e-3);
        }
    }
    EXPECT_FALSE(lighter(QColor()));
    EXPECT_FALSE(darker(QColor()));
    EXPECT_FALSE(sRGBColor(QColor()));
    // QColor's equality includes its colour model: the result is an RGB colour.
    const QColor cyan = QColor::fromCmykF(1, 0, 0, 0);
    EXPECT_EQ(*sRGBColor(cyan), cyan.toRgb());
}

}  // namespace
