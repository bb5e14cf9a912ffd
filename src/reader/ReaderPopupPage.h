#pragma once

#include <QWebEnginePage>

namespace tallowmere {

// Stands in for the window a link with a target would open: its first
// navigation goes through the link policy and the page then goes away.
class ReaderPopupPage : public QWebEnginePage {
    Q_OBJECT
public:
    ReaderPopupPage(QWebEngineProfile* profile, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    bool handled_ = false;
};

}  // namespace tallowmere
