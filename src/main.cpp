#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "cloud/CloudManagers.h"
#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "platform/desktop/EventLoopMainQueue.h"
#include "themes/FontMap.h"

namespace {
bool hasDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}
}  // namespace

int main(int argc, char* argv[]) {
    tallowmere::Logger::setLevel(tallowmere::LoggerLevel::debug);
    if (!hasDisplay()) {
        std::fprintf(stderr, "Tallowmere: there is no display to show a window on.\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(tallowmere::AppUtils::appName()));
    tallowmere::desktop::EventLoopMainQueue::install();
    tallowmere::FontMap::shared();
    tallowmere::CloudManagers::installShared();
    // The window comes with the program's entry; until then there is nothing to show.
    std::fprintf(stderr, "Tallowmere: the window is not built yet, so there is nothing to show.\n");
    return 0;
}
