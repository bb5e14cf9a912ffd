#include "themes/ColorHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tallowmere {

namespace {

constexpr double kBrightnessStep = 0.2;

// QColor keeps 16 bits a channel, so a channel that is a whole number of
// 255ths can come back a hair below it (34 as 33.998). Adding half a 16-bit
// step before truncating puts it back; only values that storage may have
// pulled below a whole number move, so truncation loses no level to storage.
int truncatedChannel(float component) {
    const double halfStorageStep = 0.5 / 65535.0 * 255.0;
    return static_cast<int>(std::trunc(static_cast<double>(component) * 255.0 + halfStorageStep));
}

std::optional<QColor> withBrightness(const QColor& color, double delta) {
    const std::optional<QColor> rgb = sRGBColor(color);
    if (!rgb) return std::nullopt;
    float hue = 0, saturation = 0, value = 0, alpha = 1.0F;
    rgb->getHsvF(&hue, &saturation, &value, &alpha);
    const double brightness = std::clamp(static_cast<double>(value) + delta, 0.0, 1.0);
    // An achromatic colour reports hue -1; it keeps no hue.
    return QColor::fromHsvF(std::max(hue, 0.0F), saturation, static_cast<float>(brightness), alpha);
}

}  // namespace

std::optional<QColor> sRGBColor(const QColor& color) {
    if (!color.isValid()) return std::nullopt;
    return color.toRgb();
}

std::optional<QColor> lighter(const QColor& color) { return withBrightness(color, kBrightnessStep); }

std::optional<QColor> darker(const QColor& color) { return withBrightness(color, -kBrightnessStep); }

std::string rgbaString(const QColor& color) {
    const std::optional<QColor> rgb = sRGBColor(color);
    if (!rgb) return "";
    char text[64];
    std::snprintf(text, sizeof text, "rgba(%d,%d,%d,%0.1f)", truncatedChannel(rgb->redF()),
                  truncatedChannel(rgb->greenF()), truncatedChannel(rgb->blueF()), static_cast<double>(rgb->alphaF()));
    return text;
}

QColor contentMaterial(ThemeStyle readerStyle) {
    return readerStyle == ThemeStyle::dark ? QColor(30, 30, 30) : QColor(255, 255, 255);
}

}  // namespace tallowmere
