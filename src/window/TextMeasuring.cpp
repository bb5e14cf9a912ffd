#include "window/TextMeasuring.h"

#include <QFontMetricsF>
#include <cmath>

namespace tallowmere {

namespace {
// Large enough for any text, small enough for the layout's fixed-point sizes.
constexpr double kUnbounded = 1.0e6;

QRectF bounds(const QString& text, const QSizeF& box, const QFont& font) {
    return QFontMetricsF(font).boundingRect(QRectF(QPointF(0, 0), box), Qt::TextWordWrap, text);
}
}  // namespace

double TextMeasuring::height(const QString& text, double constrainedWidth, const QFont& font) {
    return std::ceil(bounds(text, QSizeF(constrainedWidth, kUnbounded), font).height());
}

double TextMeasuring::width(const QString& text, double constrainedHeight, const QFont& font) {
    return std::ceil(bounds(text, QSizeF(kUnbounded, constrainedHeight), font).width());
}

}  // namespace tallowmere
