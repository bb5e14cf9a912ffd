#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>

namespace tallowmere {

// The two image operations shared by the toolbars and the image cache. They
// work on QImage, which, unlike QPixmap, may be used off the GUI thread; every
// call is reentrant and touches no shared state.
class ImageUtils {
public:
    ImageUtils() = delete;

    // The image in one colour: the colour replaces the image's colour wherever
    // the image is opaque and leaves transparent areas transparent (the
    // colour's own alpha weakens it). Same pixel size and device pixel ratio.
    static QImage tinted(const QImage& image, const QColor& color);

    // The image redrawn, opaque and in sRGB, on `fill` at `size` (in
    // device-independent pixels) times `backingScale` pixels: centred at its
    // own size, each dimension squeezed to the target when larger (the aspect
    // ratio is not kept). The result's device pixel ratio is `backingScale`.
    // Returns `image` itself (sharing its data) when it already has that size
    // or when it cannot be redrawn: a null image, or a target with no pixels
    // or too many. A scale that is not a positive number counts as 1.0, as on
    // a machine without a screen.
    static QImage resized(const QImage& image, const QSizeF& size, const QColor& fill, qreal backingScale);
    // A one-colour glyph (a toolbar image) made smaller for drawing at `side`
    // pixels square: each pixel takes the most opaque pixel of the area it
    // covers, so that strokes thinner than the reduction stay solid instead
    // of fading as an averaging reduction makes them. The image itself when
    // it is not larger than that.
    static QImage glyphReduced(const QImage& image, int side);
};

}  // namespace tallowmere
