#include "reader/ReaderPopupPage.h"

#include "reader/ReaderLinkPolicy.h"

namespace tallowmere {

ReaderPopupPage::ReaderPopupPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

bool ReaderPopupPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    if (!handled_) {
        handled_ = true;
        ReaderLinkPolicy::open(url);
        deleteLater();
    }
    return false;
}

}  // namespace tallowmere
