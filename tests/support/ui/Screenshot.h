#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <string>

class QWidget;

namespace tallowmere::test {

// Grabs a widget as it is drawn now and keeps the picture as
// build/screenshots/<name>.png, to be looked at; the returned image is the
// same picture, for probing pixels in the widget's own coordinates.
class Screenshot {
public:
    Screenshot(QWidget* widget, const QString& name);

    const QImage& image() const { return image_; }
    const QString& path() const { return path_; }
    bool saved() const { return saved_; }

    // The colour at a point given in the widget's coordinates (device pixel
    // ratio taken into account).
    QColor pixel(QPoint point) const;
    QColor pixel(int x, int y) const { return pixel(QPoint(x, y)); }
    // Whether the pixel is within `tolerance` of `expected` in every channel.
    bool pixelNear(QPoint point, const QColor& expected, int tolerance = 2) const;
    // How many pixels of the rectangle are within `tolerance` of `colour`.
    int countNear(const QRect& area, const QColor& colour, int tolerance = 2) const;

    // "rgb(r,g,b)" for messages.
    static std::string describe(const QColor& colour);

private:
    QImage image_;
    QString path_;
    bool saved_ = false;
};

}  // namespace tallowmere::test
