#include "prefs/WebDataRemoval.h"

#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <system_error>

#include "foundation/Logger.h"
#include "reader/ReaderWebStorage.h"

namespace tallowmere {

WebDataRemoval::WebDataRemoval(QWebEngineProfile* profile, std::filesystem::path cacheFolder, QObject* parent)
    : QObject(parent), profile_(profile), cacheFolder_(std::move(cacheFolder)) {
    checks_.setInterval(checkInterval);
    connect(&checks_, &QTimer::timeout, this, &WebDataRemoval::check);
}

void WebDataRemoval::start() {
    if (running_) return;
    running_ = true;
    if (!ReaderWebStorage::scheduleRemovalAtNextStart()) {
        Logger::warning([] { return std::string("the removal of the web storage at the next start could not be noted"); });
    }
    if (profile_) {
        profile_->clearHttpCache();
        profile_->cookieStore()->deleteAllCookies();
        profile_->clearAllVisitedLinks();
    }
    elapsed_.start();
    checks_.start();
}

void WebDataRemoval::check() {
    if (!isCacheEmpty(cacheFolder_) && elapsed_.elapsed() < longestWait) return;
    checks_.stop();
    running_ = false;
    Q_EMIT finished();
}

bool WebDataRemoval::isCacheEmpty(const std::filesystem::path& cacheFolder) {
    std::error_code error;
    std::filesystem::recursive_directory_iterator entries(cacheFolder, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        if (!entries->is_regular_file(error)) continue;
        const auto name = entries->path().filename().string();
        // The cache's bookkeeping stays when its entries are gone.
        if (name == "index" || name == "the-real-index") continue;
        return false;
    }
    return true;
}

}  // namespace tallowmere
