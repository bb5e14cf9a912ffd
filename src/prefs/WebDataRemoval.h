#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <filesystem>

class QWebEngineProfile;

namespace tallowmere {

// Removes what the reader's web profile keeps for sites. The HTTP cache,
// the cookies and the visited links go now; local storage, IndexedDB,
// session storage and service workers, which the web engine cannot drop
// while it runs, at the next start. The engine does not say when its cache
// is cleared: the removal counts as finished once the cache folder holds no
// entry any more, or after `longestWait`.
class WebDataRemoval : public QObject {
    Q_OBJECT
public:
    static constexpr int longestWait = 5000;  // milliseconds
    static constexpr int checkInterval = 100;  // milliseconds

    WebDataRemoval(QWebEngineProfile* profile, std::filesystem::path cacheFolder, QObject* parent = nullptr);

    // A removal asked for while one runs changes nothing.
    void start();
    bool isRunning() const { return running_; }

    // Whether the cache folder holds no cache entry (its index files aside).
    static bool isCacheEmpty(const std::filesystem::path& cacheFolder);

Q_SIGNALS:
    void finished();

private:
    void check();

    QPointer<QWebEngineProfile> profile_;
    std::filesystem::path cacheFolder_;
    QTimer checks_;
    QElapsedTimer elapsed_;
    bool running_ = false;
};

}  // namespace tallowmere
