#pragma once

#include <QByteArray>
#include <QMutex>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>
#include <deque>
#include <utility>

namespace tallowmere {

// Serves the reader's built pages and the bundled font files under the
// scheme "tallowmere-reader": a page is at <pageFolder>/page-<n>.html and its
// relative "Fonts/<file>" resolve beside it. Unlike a data URL a page has no
// size limit, and the pages reach no local file.
class ReaderSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char* scheme = "tallowmere-reader";
    // Pages kept for reloads and history; older ones are dropped.
    static constexpr std::size_t keptPages = 8;

    // Must run before the application object exists (also asks for shared GL contexts).
    static void registerScheme();
    // The folder the pages and fonts are served from (the pages' base URL).
    static QUrl pageFolder();

    explicit ReaderSchemeHandler(QObject* parent = nullptr);
    // Keeps the page and returns where it is served.
    QUrl addPage(QByteArray html);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QMutex mutex_;
    quint64 nextPage_ = 1;
    std::deque<std::pair<QString, QByteArray>> pages_;
};

}  // namespace tallowmere
