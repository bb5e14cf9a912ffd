#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "images/ImagesManager.h"

using namespace tallowmere;

namespace {

QImage filled(int width, int height, const QColor& color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

bool sameImage(const QImage& a, const QImage& b) { return a.cacheKey() == b.cacheKey(); }

const QSizeF kIconSize(16, 16);

TEST(ImagesManager, KeyNeverStoredMisses) {
    ImagesManager manager;
    EXPECT_FALSE(manager.image("feed-1", kIconSize, Qt::white, 1.0));
    manager.setImage(QImage(), "feed-1");
    EXPECT_FALSE(manager.image("feed-1", kIconSize, Qt::white, 1.0)) << "a null image is not stored";
}

TEST(ImagesManager, CopyIsDrawnOnceAndThenServedFromTheCache) {
    ImagesManager manager;
    manager.setImage(filled(32, 32, Qt::red), "feed-1");

    const std::optional<QImage> first = manager.image("feed-1", kIconSize, Qt::white, 2.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSize(32, 32));
    EXPECT_EQ(first->deviceIndependentSize(), kIconSize);
    EXPECT_FALSE(first->hasAlphaChannel());

    const std::optional<QImage> second = manager.image("feed-1", kIconSize, Qt::white, 2.0);
    ASSERT_TRUE(second);
    EXPECT_TRUE(sameImage(*first, *second));
}

TEST(ImagesManager, EachSizeColourAndScaleKeepsItsOwnCopy) {
    ImagesManager manager;
    manager.setImage(filled(10, 10, Qt::red), "feed-1");
    const struct {
        QSizeF size;
        QColor color;
        qreal scale;
        QSize pixels;
    } requests[] = {
        {QSizeF(16, 16), Qt::white, 1.0, QSize(16, 16)},
        {QSizeF(20, 20), Qt::white, 1.0, QSize(20, 20)},
        {QSizeF(16, 16), Qt::black, 1.0, QSize(16, 16)},
        {QSizeF(16, 16), Qt::white, 2.0, QSize(32, 32)},
        {QSizeF(16.5, 16), Qt::white, 1.0, QSize(16, 16)},
        {QSizeF(16, 16), QColor(255, 255, 255, 254), 1.0, QSize(16, 16)},
    };
    std::vector<QImage> drawn;
    for (const auto& r : requests) {
        const std::optional<QImage> image = manager.image("feed-1", r.size, r.color, r.scale);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), r.pixels);
        drawn.push_back(*image);
    }
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        for (std::size_t j = i + 1; j < drawn.size(); ++j)
            EXPECT_FALSE(sameImage(drawn[i], drawn[j])) << i << j;
        const auto& r = requests[i];
        EXPECT_TRUE(sameImage(*manager.image("feed-1", r.size, r.color, r.scale), drawn[i])) << i;
    }
    EXPECT_EQ(drawn[2].pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(drawn[0].pixelColor(0, 0), QColor(Qt::white));
}

TEST(ImagesManager, SizeZeroOnTheClearColourIsTheBaseImage) {
    ImagesManager manager;
    const QImage base = filled(10, 10, Qt::red);
    manager.setImage(base, "feed-1");
    for (qreal scale : {1.0, 2.0}) {
        const std::optional<QImage> found = manager.image("feed-1", QSizeF(0, 0), Qt::transparent, scale);
        ASSERT_TRUE(found);
        EXPECT_TRUE(sameImage(*found, base));
    }
    // The base image's own size needs no drawing either.
    EXPECT_TRUE(sameImage(*manager.image("feed-1", QSizeF(10, 10), Qt::white, 2.0), base));
}

TEST(ImagesManager, NewBaseImageLeavesEarlierCopiesInPlace) {
    ImagesManager manager;
    manager.setImage(filled(10, 10, Qt::red), "feed-1");
    const QImage redCopy = *manager.image("feed-1", kIconSize, Qt::white, 1.0);

    const QImage greenBase = filled(10, 10, Qt::green);
    manager.setImage(greenBase, "feed-1");
    EXPECT_TRUE(sameImage(*manager.image("feed-1", kIconSize, Qt::white, 1.0), redCopy));
    EXPECT_TRUE(sameImage(*manager.image("feed-1", QSizeF(0, 0), Qt::transparent, 1.0), greenBase));
    EXPECT_EQ(manager.image("feed-1", QSizeF(20, 20), Qt::white, 1.0)->pixelColor(10, 10), QColor(Qt::green));
}

TEST(ImagesManager, HundredFirstEntryEvictsTheLeastRecentlyUsed) {
    ImagesManager manager;
    const QImage image = filled(4, 4, Qt::red);
    for (std::size_t i = 0; i < ImagesManager::kCountLimit; ++i)
        manager.setImage(image, "feed-" + std::to_string(i));
    ASSERT_TRUE(manager.image("feed-0", kIconSize, Qt::white, 1.0)) << "100 entries all stay";

    manager.setImage(image, "feed-100");
    EXPECT_TRUE(manager.image("feed-0", kIconSize, Qt::white, 1.0)) << "used last, so kept";
    EXPECT_FALSE(manager.image("feed-1", kIconSize, Qt::white, 1.0)) << "evicted with its copies";
    EXPECT_TRUE(manager.image("feed-100", kIconSize, Qt::white, 1.0));
}

TEST(ImagesManager, SharedInstanceIsOne) {
    EXPECT_EQ(&ImagesManager::shared(), &ImagesManager::shared());
    ImagesManager::shared().setImage(filled(4, 4, Qt::red), "shared-feed");
    EXPECT_TRUE(ImagesManager::shared().image("shared-feed", kIconSize, Qt::white, 1.0));
}

TEST(ImagesManager, ViewsOnSeveralThreadsGetOneConsistentCopy) {
    ImagesManager manager;
    for (int key = 0; key < 8; ++key)
        manager.setImage(filled(10, 10, Qt::red), "feed-" + std::to_string(key));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&manager, &wrong, t] {
            for (int round = 0; round < 50; ++round) {
                const std::string key = "feed-" + std::to_string((round + t) % 8);
                const QSizeF size(8 + round % 5, 8 + round % 5);
                const std::optional<QImage> image = manager.image(key, size, Qt::white, 1.0);
                if (!image || image->deviceIndependentSize() != size) ++wrong;
                manager.setImage(filled(10, 10, Qt::red), "other-" + std::to_string(t));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    // Every copy was kept: a further lookup returns the stored one.
    const QImage again = *manager.image("feed-0", QSizeF(8, 8), Qt::white, 1.0);
    EXPECT_TRUE(sameImage(again, *manager.image("feed-0", QSizeF(8, 8), Qt::white, 1.0)));
}

}  // namespace
