#include "LinkCatcher.h"

#include <QDesktopServices>

#include "reader/ReaderSchemeHandler.h"

namespace tallowmere::test {

namespace {

const char* const kSchemes[] = {"http", "https", "mailto", "feed", "file", "smb", "javascript"};

// The reader's scheme must be known before the application object exists,
// which the shared test main makes.
const bool kSchemeRegistered = [] {
    ReaderSchemeHandler::registerScheme();
    return true;
}();

}  // namespace

LinkCatcher::LinkCatcher() {
    (void)kSchemeRegistered;
    for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

LinkCatcher::~LinkCatcher() {
    for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void LinkCatcher::open(const QUrl& url) { opened << url.toString(); }

}  // namespace tallowmere::test
