// A second start of the program's preferences side, for the tests of what
// the preferences leave for the next start. Prints one answer line and ends:
//   web-storage set <url>     loads the page, which stores a value; prints it
//   web-storage remove <url>  loads the page, then removes the web data as the Advanced pane does
//   web-storage read <url>    loads the page and prints the stored value ("null" when there is none)
//   cloud-status              prints the Advanced pane's cloud status line
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <functional>
#include <optional>

#include "platform/desktop/EventLoopMainQueue.h"
#include "prefs/PreferencesAdvancedViewController.h"
#include "reader/ReaderSchemeHandler.h"
#include "reader/ReaderView.h"

using namespace tallowmere;

namespace {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

int answer(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    return 0;
}

int webStorage(const QString& step, const QUrl& url) {
    auto* view = new QWebEngineView();
    auto* page = new QWebEnginePage(ReaderView::profile(), view);
    view->setPage(page);
    view->resize(400, 300);
    view->show();
    std::optional<bool> loaded;
    QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    page->load(url);
    if (!waitUntil([&] { return loaded.has_value(); }, 30000) || !*loaded) return 2;

    std::optional<QString> value;
    page->runJavaScript(QStringLiteral("String(localStorage.getItem('kept'))"),
                        [&](const QVariant& result) { value = result.toString(); });
    if (!waitUntil([&] { return value.has_value(); }, 30000)) return 3;

    if (step == QLatin1String("remove")) {
        PreferencesAdvancedViewController pane(ReaderView::profile());
        pane.view();
        pane.removeWebCachesButton()->click();
        if (!waitUntil([&] { return pane.removeWebCachesButton()->isEnabled(); }, 30000)) return 4;
    }
    delete view;
    return answer(*value);
}

int cloudStatus() {
    PreferencesAdvancedViewController pane;
    pane.view()->show();
    if (!waitUntil([&] { return !pane.cloudStatusTextField()->text().isEmpty(); }, 30000)) return 5;
    return answer(pane.cloudStatusTextField()->text());
}

}  // namespace

int main(int argc, char* argv[]) {
    ReaderSchemeHandler::registerScheme();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallowmere"));
    desktop::EventLoopMainQueue::install();
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() == 3 && arguments[0] == QLatin1String("web-storage")) {
        return webStorage(arguments[1], QUrl(arguments[2]));
    }
    if (arguments.size() == 1 && arguments[0] == QLatin1String("cloud-status")) return cloudStatus();
    std::fprintf(stderr, "usage: web-storage set|remove|read <url> | cloud-status\n");
    return 64;
}
