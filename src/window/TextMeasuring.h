#pragma once

#include <QFont>
#include <QString>

namespace tallowmere {

// The height a text needs at a given width (word-wrapped), and the width it
// needs at a given height, each rounded up to a whole number.
class TextMeasuring {
public:
    TextMeasuring() = delete;
    static double height(const QString& text, double constrainedWidth, const QFont& font);
    static double width(const QString& text, double constrainedHeight, const QFont& font);
};

}  // namespace tallowmere
