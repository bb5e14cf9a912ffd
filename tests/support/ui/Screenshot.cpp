#include "support/ui/Screenshot.h"

#include <QDir>
#include <QWidget>
#include <cstdlib>

namespace tallowmere::test {

namespace {
bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}
}  // namespace

Screenshot::Screenshot(QWidget* widget, const QString& name) {
    image_ = widget->grab().toImage();
    const QDir folder(QStringLiteral(TALLOWMERE_SCREENSHOTS_DIR));
    folder.mkpath(QStringLiteral("."));
    path_ = folder.filePath(name + QStringLiteral(".png"));
    saved_ = image_.save(path_, "PNG");
}

QColor Screenshot::pixel(QPoint point) const {
    const qreal ratio = image_.devicePixelRatio();
    return image_.pixelColor(QPoint(static_cast<int>(point.x() * ratio), static_cast<int>(point.y() * ratio)));
}

bool Screenshot::pixelNear(QPoint point, const QColor& expected, int tolerance) const {
    return near(pixel(point), expected, tolerance);
}

int Screenshot::countNear(const QRect& area, const QColor& colour, int tolerance) const {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) count += near(pixel(x, y), colour, tolerance) ? 1 : 0;
    }
    return count;
}

std::string Screenshot::describe(const QColor& colour) {
    return "rgb(" + std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," +
           std::to_string(colour.blue()) + ")";
}

}  // namespace tallowmere::test
