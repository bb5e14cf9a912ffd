#include <gtest/gtest.h>

#include <QLabel>

#include "platform/desktop/AssetImage.h"
#include "platform/desktop/ViewController.h"
#include "support/LogCapture.h"

using namespace tallowmere;

namespace {

class CountingController : public desktop::ViewController {
public:
    using desktop::ViewController::ViewController;
    int loads = 0;
    int didLoads = 0;

protected:
    void loadView() override {
        ++loads;
        setView(new QLabel(QStringLiteral("pane")));
    }
    void viewDidLoad() override { ++didLoads; }
};

TEST(ViewController, LoadsItsViewOnceOnFirstDemand) {
    CountingController controller;
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_EQ(controller.loads, 0);
    QWidget* view = controller.view();
    EXPECT_EQ(controller.view(), view);
    EXPECT_EQ(controller.loads, 1);
    EXPECT_EQ(controller.didLoads, 1);
    EXPECT_EQ(desktop::ViewController::controllerOf(view), &controller);
    EXPECT_EQ(desktop::ViewController::controllerOf(nullptr), nullptr);
}

TEST(ViewController, ChildrenBelongToTheirParent) {
    QPointer<CountingController> child;
    {
        CountingController parent;
        child = new CountingController();
        parent.addChild(child);
        EXPECT_EQ(child->parentController(), &parent);
        ASSERT_EQ(parent.children().size(), 1U);
        child->removeFromParent();
        EXPECT_TRUE(parent.children().empty());
        parent.addChild(child);
    }
    EXPECT_TRUE(child.isNull());
}

TEST(AssetImage, AMissingImageIsEmptyWithAWarning) {
    EXPECT_FALSE(desktop::AssetImage::named("FeedDefaultIcon").isNull());
    test::LogCapture log;
    EXPECT_TRUE(desktop::AssetImage::named("NoSuchImage").isNull());
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines[0].find("NoSuchImage"), std::string::npos);
}

}  // namespace
