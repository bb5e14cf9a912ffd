#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QUrl>
#include <cmath>

#include "support/ui/Screenshot.h"
#include "support/ui/UiWait.h"
#include "themes_core/ThemeType.h"
#include "window/GradientView.h"
#include "window/LinkButton.h"
#include "window/PopUpButton.h"
#include "window/ProgressIndicator.h"
#include "window/ProgressView.h"
#include "window/TextMeasuring.h"

using namespace tallowmere;

// Receives the addresses handed to the desktop instead of opening them.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QStringList& schemes) : schemes_(schemes) {
        for (const QString& scheme : schemes_) QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override {
        for (const QString& scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }

private:
    QStringList schemes_;
};

namespace {

TEST(ProgressView, GrowsToTheProgressAndEmptiesWhenHidden) {
    ProgressView progress(QColor(Qt::red));
    progress.resize(300, 2);
    progress.show();
    progress.setProgress(1.0);
    EXPECT_EQ(progress.barTargetWidth(), 300);
    EXPECT_LT(progress.barView()->width(), 300) << "it grows, not jumps";
    ASSERT_TRUE(test::waitUntil([&] { return progress.barView()->width() == 300; }, 2000));
    EXPECT_EQ(progress.barView()->height(), 2);

    progress.setProgress(0.5);
    progress.hide();
    EXPECT_EQ(progress.barView()->width(), 0) << "hiding empties the bar at once";
    progress.show();
    QTest::qWait(ProgressView::animationDurationMs + 50);
    EXPECT_EQ(progress.barView()->width(), 0) << "shown again, empty until the next progress";
    progress.setProgress(0.25);
    ASSERT_TRUE(test::waitUntil([&] { return progress.barView()->width() == 75; }, 2000));
}

TEST(ProgressIndicator, PaintsInItsTintOrBackInThePalette) {
    ProgressIndicator spinner;
    const QColor palette = spinner.palette().color(QPalette::WindowText);
    spinner.setTintColor(QColor(0, 200, 0));
    EXPECT_EQ(spinner.spokeColor(), QColor(0, 200, 0));
    spinner.resize(32, 32);
    spinner.startAnimation();
    EXPECT_TRUE(spinner.isAnimating());
    const QImage tinted = spinner.grab().toImage();
    int green = 0;
    for (int y = 0; y < tinted.height(); ++y) {
        for (int x = 0; x < tinted.width(); ++x) {
            const QColor c = tinted.pixelColor(x, y);
            green += (c.green() > 150 && c.red() < 60 && c.alpha() > 200) ? 1 : 0;
        }
    }
    EXPECT_GT(green, 10) << "the spokes are drawn in the tint";
    spinner.setTintColor(QColor());
    EXPECT_EQ(spinner.spokeColor(), palette);
    spinner.stopAnimation();
    EXPECT_FALSE(spinner.isAnimating());
}

TEST(GradientView, PaintsTopToBottomOrNothing) {
    QWidget backdrop;
    backdrop.setAutoFillBackground(true);
    QPalette red = backdrop.palette();
    red.setColor(QPalette::Window, Qt::red);
    backdrop.setPalette(red);
    backdrop.resize(20, 100);
    auto* gradient = new GradientView(Qt::white, Qt::black, &backdrop);
    gradient->setGeometry(backdrop.rect());
    backdrop.show();

    const QImage painted = backdrop.grab().toImage();
    EXPECT_GT(painted.pixelColor(10, 1).lightness(), 240);
    EXPECT_LT(painted.pixelColor(10, 98).lightness(), 15);

    gradient->setGradient(std::nullopt);
    const QImage bare = backdrop.grab().toImage();
    EXPECT_EQ(bare.pixelColor(10, 50), QColor(Qt::red)) << "without a gradient what lies behind shows";
}

TEST(LinkButton, OpensOnlyWebAndMailAddresses) {
    UrlCatcher catcher({"http", "https", "mailto", "file", "ftp", "javascript", "feed"});
    const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
        {"https://example.org/page", true},
        {"http://example.org", true},
        {"mailto:someone@example.org", true},
        {"HTTPS://example.org/upper", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://example.org/file", false},
        {"feed://example.org/rss", false},
        {"http://", false},
        {"not a url at all", false},
        {"", false},
        {std::nullopt, false},
    };
    for (const auto& [address, opens] : cases) {
        catcher.opened.clear();
        LinkButton button(QStringLiteral("Link"), address);
        button.click();
        EXPECT_EQ(catcher.opened.size(), opens ? 1 : 0) << address.value_or("(none)");
    }
    LinkButton button(QStringLiteral("Underlined"), "https://example.org");
    EXPECT_TRUE(button.font().underline());
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
}

TEST(PopUpButton, SelectsByValueAndReportsThePick) {
    const std::vector<std::pair<std::string, ThemeType>> items = {
        {"auto", ThemeType::automatic}, {"latte", ThemeType::latte}, {"mocha", ThemeType::mocha}};
    std::optional<ThemeType> picked;
    PopUpButton<ThemeType> known(items, ThemeType::latte, "GeneralPreferences",
                                 [&](const ThemeType& value) { picked = value; });
    EXPECT_EQ(known.count(), 3);
    EXPECT_EQ(known.currentIndex(), 1);
    EXPECT_EQ(known.selectedValue(), ThemeType::latte);
    EXPECT_EQ(known.itemText(2), QStringLiteral("mocha")) << "a key with no text shows as itself";
    Q_EMIT known.activated(2);
    EXPECT_EQ(picked, ThemeType::mocha);

    PopUpButton<ThemeType> unknown(items, ThemeType::dark, "GeneralPreferences");
    EXPECT_EQ(unknown.currentIndex(), -1) << "no item has the value: none is chosen";
    EXPECT_FALSE(unknown.selectedValue());
}

TEST(TextMeasuring, SizesAreWholeNumbersAndWrapAtTheWidth) {
    QFont font(QStringLiteral("Lato"));
    font.setPointSizeF(13);
    const QString text = QStringLiteral("A sentence long enough to need several lines when the width is narrow.");
    const double wide = TextMeasuring::height(text, 2000, font);
    const double narrow = TextMeasuring::height(text, 80, font);
    const double width = TextMeasuring::width(text, 20, font);
    for (double size : {wide, narrow, width}) EXPECT_EQ(size, std::ceil(size));
    EXPECT_GT(narrow, 2 * wide);
    EXPECT_GE(width, QFontMetricsF(font).horizontalAdvance(text));
    EXPECT_EQ(TextMeasuring::height(QString(), 100, font), std::ceil(QFontMetricsF(font).height()));
}

}  // namespace

#include "SmallViewsTest.moc"
