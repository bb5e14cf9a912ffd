#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include "support/ui/UiWait.h"
#include "window/ScrollViewController.h"
#include "window/Toolbar.h"
#include "window/ToolbarsViewController.h"

using namespace tallowmere;

namespace {

TEST(Toolbar, ButtonsTakeTheButtonWidthAndTheRowHeightOtherControlsKeepTheirSize) {
    Toolbar toolbar;
    toolbar.resize(400, 40);
    auto* button = new QPushButton(QStringLiteral("R"));
    auto* label = new QLabel(QStringLiteral("A label wider than a button"));
    toolbar.addView(button, toolbar.stackView(), ToolbarGravity::leading);
    toolbar.addView(label, toolbar.stackView(), ToolbarGravity::center);
    toolbar.show();
    ASSERT_TRUE(test::waitUntil([&] { return button->height() > 0; }));
    EXPECT_EQ(button->width(), Toolbar::buttonWidth);
    EXPECT_EQ(button->height(), 40 - 2 * Toolbar::inset);
    EXPECT_EQ(label->width(), label->sizeHint().width());
    EXPECT_GE(button->mapTo(&toolbar, QPoint(0, 0)).x(), Toolbar::inset);
}

TEST(Toolbar, CentreAreaStaysCentred) {
    Toolbar toolbar;
    toolbar.resize(500, 40);
    auto* centre = new QLabel(QStringLiteral("Middle"));
    toolbar.addView(new QLabel(QStringLiteral("A much longer leading text")), toolbar.stackView(),
                    ToolbarGravity::leading);
    toolbar.addView(centre, toolbar.stackView(), ToolbarGravity::center);
    toolbar.addView(new QPushButton(), toolbar.stackView(), ToolbarGravity::trailing);
    toolbar.show();
    ASSERT_TRUE(test::waitUntil([&] { return centre->isVisible(); }));
    const QRect area = toolbar.stackView()->area(ToolbarGravity::center)->geometry();
    EXPECT_NEAR(area.center().x(), toolbar.width() / 2, 1);
}

TEST(Toolbar, AskingForTheAuxiliaryRowTwiceRunsOneSwap) {
    Toolbar toolbar;
    toolbar.resize(300, 40);
    toolbar.show();
    EXPECT_EQ(toolbar.currentStackView(), toolbar.stackView());
    toolbar.showAuxiliaryStackView();
    QPropertyAnimation* swap = toolbar.swapAnimation();
    ASSERT_NE(swap, nullptr);
    EXPECT_EQ(swap->duration(), 167);
    toolbar.showAuxiliaryStackView();
    EXPECT_EQ(toolbar.swapAnimation(), swap) << "no second animation";
    EXPECT_EQ(toolbar.currentStackView(), toolbar.auxStackView());
    EXPECT_EQ(toolbar.stackView()->parentWidget(), nullptr) << "the main row leaves the toolbar";
    ASSERT_TRUE(test::waitUntil([&] { return toolbar.swapAnimation() == nullptr; }));
    EXPECT_EQ(toolbar.auxStackView()->graphicsEffect(), nullptr) << "the fade goes with its animation";
    EXPECT_EQ(toolbar.auxStackView()->geometry(), toolbar.rect());

    toolbar.replaceStackView(toolbar.stackView());
    EXPECT_EQ(toolbar.currentStackView(), toolbar.stackView());
}

TEST(Toolbar, WithoutARowItIgnoresSwaps) {
    Toolbar toolbar;
    toolbar.stackView()->setParent(nullptr);
    EXPECT_EQ(toolbar.currentStackView(), nullptr);
    toolbar.showAuxiliaryStackView();
    toolbar.replaceStackView(toolbar.auxStackView());
    EXPECT_EQ(toolbar.currentStackView(), nullptr);
    EXPECT_EQ(toolbar.swapAnimation(), nullptr);
    toolbar.stackView()->setParent(&toolbar);  // handed back for the toolbar to delete
}

TEST(Toolbar, DoubleClickOnTheBarZoomsTheWindow) {
    QMainWindow window;
    auto* toolbar = new Toolbar();
    auto* button = new QPushButton(QStringLiteral("B"));
    toolbar->addView(button, toolbar->stackView(), ToolbarGravity::trailing);
    window.setCentralWidget(toolbar);
    window.resize(400, 40);
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return button->isVisible(); }));
    const QPoint empty(toolbar->width() / 2, toolbar->height() / 2);

    QTest::mouseClick(toolbar, Qt::LeftButton, {}, empty);
    EXPECT_FALSE(window.isMaximized()) << "a single click does nothing";
    QTest::mouseDClick(button, Qt::LeftButton);
    EXPECT_FALSE(window.isMaximized()) << "a double click on a control is the control's";
    QTest::mouseDClick(toolbar, Qt::LeftButton, {}, empty);
    EXPECT_TRUE(window.isMaximized());
    QTest::mouseDClick(toolbar, Qt::LeftButton, {}, empty);
    EXPECT_FALSE(window.isMaximized()) << "zoom toggles";
}

struct PaneCase {
    bool top;
    bool bottom;
    int contentTop;
    int contentBottom;
};

TEST(ToolbarsViewController, ContentSitsBetweenItsToolbars) {
    for (const PaneCase& c : {PaneCase{true, false, 40, 300}, PaneCase{false, false, 0, 300},
                              PaneCase{true, true, 40, 266}, PaneCase{false, true, 0, 266}}) {
        ToolbarsViewController pane;
        if (c.top) pane.setTopToolbar(new Toolbar());
        if (c.bottom) pane.setBottomToolbar(new Toolbar());
        QWidget* view = pane.view();
        EXPECT_EQ(view, pane.containerView());
        view->resize(200, 300);
        view->show();
        ASSERT_TRUE(test::waitUntil([&] { return pane.contentView()->height() > 0; }));
        EXPECT_EQ(pane.contentView()->geometry(), QRect(0, c.contentTop, 200, c.contentBottom - c.contentTop))
            << c.top << c.bottom;
        if (c.top) {
            EXPECT_EQ(pane.topToolbar()->geometry(), QRect(0, 0, 200, 40));
        }
        if (c.bottom) {
            EXPECT_EQ(pane.bottomToolbar()->geometry(), QRect(0, 266, 200, 34));
        }
        EXPECT_FALSE(pane.contentEffectView()->isVisible());
        pane.contentEffectView()->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(pane.contentEffectView()->geometry(), QRect(0, 0, 200, 300)) << "the effect view fills the pane";
    }
}

TEST(ToolbarsViewController, ToolbarsOfAPaneThatNeverLoadedGoWithIt) {
    QPointer<Toolbar> toolbar = new Toolbar();
    {
        ToolbarsViewController pane;
        pane.setTopToolbar(toolbar);
    }
    EXPECT_TRUE(toolbar.isNull());
}

TEST(ScrollViewController, TheScrollingViewFillsTheContent) {
    auto* list = new QScrollArea();
    ScrollViewController pane(list);
    pane.setTopToolbar(new Toolbar());
    pane.view()->resize(250, 400);
    pane.view()->show();
    ASSERT_TRUE(test::waitUntil([&] { return list->height() > 0; }));
    EXPECT_EQ(list->parentWidget(), pane.contentView());
    EXPECT_EQ(list->mapTo(pane.view(), QPoint(0, 0)), QPoint(0, 40));
    EXPECT_EQ(list->size(), QSize(250, 360));
    EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

}  // namespace
