#include "themes/DefaultColorPalette.h"

namespace tallowmere {

namespace {
QColor hsb(float h, float s, float b, float a) { return QColor::fromHsvF(h, s, b, a); }
}  // namespace

const QColor& DefaultColorPalette::darkBrown() {
    static const QColor color = hsb(0.07F, 0.1F, 0.24F, 1.0F);
    return color;
}
const QColor& DefaultColorPalette::gray60() {
    static const QColor color = hsb(0.07F, 0.0F, 0.6F, 1.0F);
    return color;
}
const QColor& DefaultColorPalette::gray80() {
    static const QColor color = hsb(0.07F, 0.0F, 0.8F, 1.0F);
    return color;
}
const QColor& DefaultColorPalette::gray30() {
    static const QColor color = hsb(0.07F, 0.0F, 0.3F, 1.0F);
    return color;
}
const QColor& DefaultColorPalette::offWhite() {
    static const QColor color = hsb(0.07F, 0.01F, 0.98F, 1.0F);
    return color;
}
const QColor& DefaultColorPalette::lightGray() {
    static const QColor color = hsb(0.07F, 0.03F, 0.9F, 1.0F);
    return color;
}

const QColor& DarkSystemColors::windowBackground() {
    static const QColor color = hsb(0.0F, 0.0F, 0.2F, 1.0F);
    return color;
}
const QColor& DarkSystemColors::separator() {
    static const QColor color = hsb(0.0F, 0.0F, 1.0F, 0.1F);
    return color;
}
const QColor& DarkSystemColors::text() {
    static const QColor color = hsb(0.0F, 0.0F, 0.9F, 1.0F);
    return color;
}
const QColor& DarkSystemColors::unemphasizedSelectedTextBackground() {
    static const QColor color = hsb(0.0F, 0.0F, 0.3F, 1.0F);
    return color;
}

}  // namespace tallowmere
