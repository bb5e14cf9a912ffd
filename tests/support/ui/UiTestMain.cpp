// The main of every Qt-side test program: one QApplication for the whole run,
// with the main queue bound to its event loop and the user's folders kept
// out of reach.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/desktop/EventLoopMainQueue.h"
#include "support/XdgSandbox.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tallowmere::test::XdgSandbox);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallowmere"));
    tallowmere::desktop::EventLoopMainQueue::install();
    return RUN_ALL_TESTS();
}
