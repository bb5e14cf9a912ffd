#include "reader/ReaderLinkPolicy.h"

#include <QDesktopServices>

#include "foundation/Logger.h"

namespace tallowmere {

bool ReaderLinkPolicy::opensOutside(const QUrl& url) {
    if (!url.isValid()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto") ||
           scheme == QLatin1String("feed");
}

bool ReaderLinkPolicy::open(const QUrl& url) {
    if (!opensOutside(url)) {
        Logger::warning([&] { return "A reader link to " + url.toDisplayString().toStdString() + " was not opened"; });
        return false;
    }
    QDesktopServices::openUrl(url);
    return true;
}

}  // namespace tallowmere
