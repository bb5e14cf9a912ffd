#include "window/NamedAppearance.h"

#include <QColor>

namespace tallowmere {

namespace {

QPalette makePalette(const QColor& window, const QColor& text, const QColor& base, const QColor& button) {
    QPalette palette;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, base);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, button);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::ToolTipBase, base);
        palette.setColor(group, QPalette::ToolTipText, text);
    }
    QColor disabled = text;
    disabled.setAlphaF(0.4f);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    return palette;
}

}  // namespace

QPalette paletteFor(NamedAppearance appearance) {
    switch (appearance) {
        case NamedAppearance::vibrantDark:
            return makePalette(QColor(0x2b, 0x2b, 0x2e), QColor(0xe8, 0xe8, 0xea), QColor(0x1e, 0x1e, 0x20),
                               QColor(0x3a, 0x3a, 0x3e));
        case NamedAppearance::vibrantLight:
            return makePalette(QColor(0xe6, 0xe6, 0xe9), QColor(0x1d, 0x1d, 0x1f), QColor(0xff, 0xff, 0xff),
                               QColor(0xf4, 0xf4, 0xf6));
        case NamedAppearance::aqua:
            break;
    }
    return makePalette(QColor(0xec, 0xec, 0xec), QColor(0x1d, 0x1d, 0x1f), QColor(0xff, 0xff, 0xff),
                       QColor(0xfb, 0xfb, 0xfb));
}

}  // namespace tallowmere
