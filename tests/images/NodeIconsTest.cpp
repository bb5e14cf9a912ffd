#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "images/NodeIcons.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TempDir.h"

using namespace tallowmere;

namespace {

graph::Bytes pngOf(const QColor& color) {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return graph::Bytes(bytes.begin(), bytes.end());
}

class NodeIconsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dispatch::MainQueue::shared().adoptCurrentThread();
        auto opened = DataController::open(dir.path() / "Tallowmere.sqlite");
        ASSERT_TRUE(opened.ok());
        controller = opened.value();
        source = NodesSource::make(controller);
    }
    void TearDown() override {
        source.reset();
        controller.reset();
        dispatch::MainQueue::shared().drain();
    }
    Feed feedWithIcon(std::optional<graph::Bytes> icon) {
        return source->addFeed("f", "https://example.com/" + std::to_string(++made), std::move(icon), std::nullopt,
                               false, NewsletterType::none);
    }
    QRgb centre(const QImage& image) { return image.pixel(image.width() / 2, image.height() / 2); }

    test::TempDir dir;
    std::shared_ptr<DataController> controller;
    std::shared_ptr<NodesSource> source;
    ImagesManager images;
    int made = 0;
    const QSizeF size{16, 16};
};

TEST_F(NodeIconsTest, DefaultIconIsAResource) {
    QImage icon = NodeIcons::defaultIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(64, 64));
}

TEST_F(NodeIconsTest, AFolderHasNoIcon) {
    Folder folder = source->addFolder("F");
    EXPECT_FALSE(NodeIcons::iconImage(*source, folder, size, 1.0, images));
}

TEST_F(NodeIconsTest, AFeedWithoutIconGetsTheDefaultOnceAndThenTheCachedCopy) {
    Feed feed = feedWithIcon(std::nullopt);
    auto first = NodeIcons::iconImage(*source, feed, size, 1.0, images);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSize(16, 16));
    const QColor middle(centre(*first));  // the default icon's orange
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.blue(), 120);
    auto second = NodeIcons::iconImage(*source, feed, size, 1.0, images);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->cacheKey(), first->cacheKey());
}

TEST_F(NodeIconsTest, AStoredIconIsUsedAndDataThatIsNoImageFallsBack) {
    auto blue = NodeIcons::iconImage(*source, feedWithIcon(pngOf(Qt::blue)), size, 2.0, images);
    ASSERT_TRUE(blue);
    EXPECT_EQ(blue->size(), QSize(32, 32));
    EXPECT_EQ(QColor(centre(*blue)), QColor(Qt::blue));

    auto broken = NodeIcons::iconImage(*source, feedWithIcon(graph::Bytes{1, 2, 3}), size, 1.0, images);
    ASSERT_TRUE(broken);
    auto fallback = NodeIcons::iconImage(*source, feedWithIcon(std::nullopt), size, 1.0, images);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(broken->pixel(2, 8), fallback->pixel(2, 8));
}

}  // namespace
