#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "platform/cloud/postgres/PostgresSchema.h"
#include "platform/desktop/EventLoopMainQueue.h"
#include "themes/FontMap.h"

namespace {
// Run by the operator of a PostgreSQL cloud, as the role that owns the tables.
int installCloudSchema(const char* connectionString) {
    if (auto error = tallowmere::cloud::PostgresSchema::install(connectionString)) {
        std::fprintf(stderr, "Tallowmere: cannot install the cloud tables: %s\n", error->textualDescription().c_str());
        return 1;
    }
    std::fprintf(stdout, "Tallowmere: the cloud tables are installed.\n");
    return 0;
}

bool hasDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}
}  // namespace

int main(int argc, char* argv[]) {
    tallowmere::Logger::setLevel(tallowmere::LoggerLevel::debug);
    if (argc == 3 && std::string_view(argv[1]) == "--cloud-install-schema") return installCloudSchema(argv[2]);
    if (!hasDisplay()) {
        std::fprintf(stderr, "Tallowmere: there is no display to show a window on.\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(tallowmere::AppUtils::appName()));
    tallowmere::desktop::EventLoopMainQueue::install();
    tallowmere::FontMap::shared();
    // The window comes with the program's entry; until then there is nothing to show.
    std::fprintf(stderr, "Tallowmere: the window is not built yet, so there is nothing to show.\n");
    return 0;
}
