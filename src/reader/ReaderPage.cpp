#include "reader/ReaderPage.h"

#include "reader/ReaderLinkPolicy.h"
#include "reader/ReaderPopupPage.h"

namespace tallowmere {

ReaderPage::ReaderPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

bool ReaderPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (type != NavigationTypeLinkClicked) return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    ReaderLinkPolicy::open(url);
    return false;
}

QWebEnginePage* ReaderPage::createWindow(WebWindowType) { return new ReaderPopupPage(profile(), this); }

}  // namespace tallowmere
