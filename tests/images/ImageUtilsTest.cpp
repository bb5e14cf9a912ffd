#include <gtest/gtest.h>

#include <QColorSpace>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>

#include "images/ImageUtils.h"

using namespace tallowmere;

namespace {

QImage filled(int width, int height, const QColor& color, QImage::Format format = QImage::Format_ARGB32) {
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Left half one colour, right half another: shows how each dimension is scaled.
QImage halves(int width, int height, const QColor& left, const QColor& right) {
    QImage image = filled(width, height, right);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, left);
    return image;
}

bool sameImage(const QImage& a, const QImage& b) { return a.cacheKey() == b.cacheKey(); }

TEST(ImageUtilsResized, SmallImageIsCentredOnTheFillAtTheBackingScale) {
    const QImage image = filled(10, 10, Qt::red);
    const QImage result = ImageUtils::resized(image, QSizeF(20, 20), Qt::blue, 2.0);

    ASSERT_EQ(result.size(), QSize(40, 40));
    EXPECT_EQ(result.devicePixelRatio(), 2.0);
    EXPECT_EQ(result.deviceIndependentSize(), QSizeF(20, 20));
    EXPECT_FALSE(result.hasAlphaChannel());
    EXPECT_EQ(result.colorSpace(), QColorSpace(QColorSpace::SRgb));
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 30 && y >= 10 && y < 30;
            ASSERT_EQ(result.pixelColor(x, y), inside ? QColor(Qt::red) : QColor(Qt::blue)) << x << "," << y;
        }
    }
}

TEST(ImageUtilsResized, ImageOfTheTargetSizeIsReturnedItself) {
    const QImage image = filled(16, 16, Qt::red);
    EXPECT_TRUE(sameImage(ImageUtils::resized(image, QSizeF(16, 16), Qt::white, 2.0), image));
    EXPECT_FALSE(sameImage(ImageUtils::resized(image, QSizeF(16, 16 + 1e-9), Qt::white, 2.0), image))
        << "only an exact match is returned as it is";

    // The size compared is the device-independent one.
    QImage sharp = filled(32, 32, Qt::red);
    sharp.setDevicePixelRatio(2.0);
    EXPECT_TRUE(sameImage(ImageUtils::resized(sharp, QSizeF(16, 16), Qt::white, 1.0), sharp));
}

TEST(ImageUtilsResized, LargerDimensionIsSqueezedAndTheOtherCentred) {
    const QImage image = halves(40, 10, Qt::red, Qt::green);
    const QImage result = ImageUtils::resized(image, QSizeF(20, 20), Qt::white, 1.0);

    ASSERT_EQ(result.size(), QSize(20, 20));
    // Width squeezed from 40 to 20, height kept at 10 and centred: rows 5 to 14.
    EXPECT_EQ(result.pixelColor(2, 10), QColor(Qt::red));
    EXPECT_EQ(result.pixelColor(17, 10), QColor(Qt::green));
    EXPECT_EQ(result.pixelColor(2, 5), QColor(Qt::red));
    EXPECT_EQ(result.pixelColor(17, 14), QColor(Qt::green));
    EXPECT_EQ(result.pixelColor(2, 4), QColor(Qt::white));
    EXPECT_EQ(result.pixelColor(17, 15), QColor(Qt::white));
}

TEST(ImageUtilsResized, HalfPixelOffsetWidensTheDrawingToWholePixels) {
    // 9 in 20 starts at 5.5: the drawing covers pixels 5 to 14 rather than leaving a blurred edge.
    const QImage result = ImageUtils::resized(filled(9, 9, Qt::red), QSizeF(20, 20), Qt::white, 1.0);
    ASSERT_EQ(result.size(), QSize(20, 20));
    for (int i = 5; i < 15; ++i) {
        EXPECT_EQ(result.pixelColor(i, 5), QColor(Qt::red)) << i;
        EXPECT_EQ(result.pixelColor(5, i), QColor(Qt::red)) << i;
        EXPECT_EQ(result.pixelColor(14, i), QColor(Qt::red)) << i;
    }
    EXPECT_EQ(result.pixelColor(4, 10), QColor(Qt::white));
    EXPECT_EQ(result.pixelColor(15, 10), QColor(Qt::white));
}

TEST(ImageUtilsResized, TransparencyShowsTheFillAndTheResultIsOpaque) {
    QImage image = filled(4, 4, Qt::transparent);
    image.setPixelColor(0, 0, QColor(255, 0, 0, 128));
    const QImage result = ImageUtils::resized(image, QSizeF(4, 8), Qt::white, 1.0);

    ASSERT_EQ(result.size(), QSize(4, 8));
    EXPECT_FALSE(result.hasAlphaChannel());
    EXPECT_EQ(result.pixelColor(1, 3), QColor(Qt::white));
    const QColor blended = result.pixelColor(0, 2);
    EXPECT_EQ(blended.alpha(), 255);
    EXPECT_EQ(blended.red(), 255);
    EXPECT_NEAR(blended.green(), 127, 2);
}

TEST(ImageUtilsResized, TranslucentFillBlendsOverBlack) {
    const QImage result =
        ImageUtils::resized(filled(1, 1, Qt::transparent), QSizeF(2, 2), QColor(255, 255, 255, 0), 1.0);
    ASSERT_EQ(result.size(), QSize(2, 2));
    EXPECT_EQ(result.pixelColor(1, 1), QColor(Qt::black));
}

TEST(ImageUtilsResized, TargetsWithoutDrawablePixelsReturnTheImageItself) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QImage image = filled(10, 10, Qt::red);
    const struct {
        QSizeF size;
        qreal scale;
    } cases[] = {
        {QSizeF(0, 0), 1.0},    {QSizeF(0, 20), 1.0},    {QSizeF(-20, 20), 1.0}, {QSizeF(nan, 20), 1.0},
        {QSizeF(20, inf), 1.0}, {QSizeF(1e30, 20), 1.0}, {QSizeF(0.4, 20), 1.0}, {QSizeF(2e9, 2e9), 2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " @" << c.scale);
        EXPECT_TRUE(sameImage(ImageUtils::resized(image, c.size, Qt::white, c.scale), image));
    }
    const QImage null;
    EXPECT_TRUE(ImageUtils::resized(null, QSizeF(20, 20), Qt::white, 1.0).isNull());
}

TEST(ImageUtilsResized, ScaleThatIsNoPositiveNumberCountsAsOne) {
    const QImage image = filled(10, 10, Qt::red);
    for (qreal scale : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(scale);
        const QImage result = ImageUtils::resized(image, QSizeF(20, 20), Qt::white, scale);
        EXPECT_EQ(result.size(), QSize(20, 20));
        EXPECT_EQ(result.devicePixelRatio(), 1.0);
    }
}

TEST(ImageUtilsResized, PixelSizeIsTruncatedAtFractionalScales) {
    const QImage result = ImageUtils::resized(filled(10, 10, Qt::red), QSizeF(15, 15), Qt::white, 1.25);
    EXPECT_EQ(result.size(), QSize(18, 18));
    EXPECT_EQ(result.devicePixelRatio(), 1.25);
}

TEST(ImageUtilsResized, ColoursOfOtherSpacesAreConvertedToSRGB) {
    QImage image = filled(2, 2, QColor(200, 100, 50));
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QImage result = ImageUtils::resized(image, QSizeF(4, 4), Qt::white, 1.0);

    QImage expected = filled(1, 1, QColor(200, 100, 50));
    expected.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    expected.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    EXPECT_EQ(result.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_NE(result.pixelColor(1, 1), QColor(200, 100, 50));
    EXPECT_EQ(result.pixelColor(1, 1).rgb(), expected.pixelColor(0, 0).rgb());
}

TEST(ImageUtilsResized, SixteenBitComponentsAreKept) {
    const QImage result =
        ImageUtils::resized(filled(2, 2, Qt::red, QImage::Format_RGBA64), QSizeF(4, 4), Qt::white, 1.0);
    EXPECT_EQ(result.format(), QImage::Format_RGBX64);
    EXPECT_EQ(ImageUtils::resized(filled(2, 2, Qt::red), QSizeF(4, 4), Qt::white, 1.0).format(),
              QImage::Format_RGB32);
}

TEST(ImageUtilsTinted, ColourReplacesOpaquePartsAndTransparencyStays) {
    // A template: an opaque black square, a half-transparent border and a transparent rest.
    QImage image = filled(8, 8, Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(1, 1, 6, 6, QColor(0, 0, 0, 128));
    painter.fillRect(2, 2, 4, 4, Qt::black);
    painter.end();
    image.setDevicePixelRatio(2.0);

    const QImage result = ImageUtils::tinted(image, QColor(0, 128, 255));
    ASSERT_EQ(result.size(), image.size());
    EXPECT_EQ(result.devicePixelRatio(), 2.0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const QColor before = image.pixelColor(x, y);
            const QColor after = result.pixelColor(x, y);
            ASSERT_EQ(after.alpha(), before.alpha()) << x << "," << y;
            if (before.alpha() == 255) {
                ASSERT_EQ(after, QColor(0, 128, 255)) << x << "," << y;
            } else if (before.alpha() == 128) {
                ASSERT_NEAR(after.blue(), 255, 2) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::black)) << "the original is left alone";
}

TEST(ImageUtilsTinted, TranslucentColourWeakensTheTint) {
    const QImage result = ImageUtils::tinted(filled(2, 2, Qt::black), QColor(255, 255, 255, 128));
    const QColor pixel = result.pixelColor(0, 0);
    EXPECT_EQ(pixel.alpha(), 255);
    EXPECT_NEAR(pixel.red(), 128, 2);
    EXPECT_TRUE(ImageUtils::tinted(QImage(), Qt::red).isNull());
}

// A toolbar glyph's one-pixel strokes stay solid at half the size, where an
// averaging reduction leaves them at half strength.
TEST(ImageUtilsGlyphReduced, ThinStrokesStaySolid) {
    QImage glyph(32, 32, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    for (int x = 4; x < 28; ++x) glyph.setPixelColor(x, 9, QColor(20, 40, 60));  // one row, odd
    for (int y = 4; y < 28; ++y) glyph.setPixelColor(20, y, QColor(20, 40, 60));  // one column, even
    const QImage averaged = glyph.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(averaged.pixelColor(8, 4).alpha(), 200);
    const QImage reduced = ImageUtils::glyphReduced(glyph, 16);
    ASSERT_EQ(reduced.size(), QSize(16, 16));
    EXPECT_EQ(reduced.pixelColor(8, 4), QColor(20, 40, 60));
    EXPECT_EQ(reduced.pixelColor(10, 12), QColor(20, 40, 60));
    EXPECT_EQ(reduced.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(reduced.pixelColor(8, 8).alpha(), 0);
    // Nothing to reduce: the image itself.
    EXPECT_EQ(ImageUtils::glyphReduced(glyph, 32).constBits(), glyph.constBits());
    EXPECT_TRUE(ImageUtils::glyphReduced(QImage(), 16).isNull());
}

}  // namespace
