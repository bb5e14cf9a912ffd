#pragma once

#include <QWebEnginePage>

namespace tallowmere {

// The reader's page: clicked links never navigate inside the reader; they go
// to the desktop through the link policy, and so do links that ask for a
// window of their own.
class ReaderPage : public QWebEnginePage {
    Q_OBJECT
public:
    ReaderPage(QWebEngineProfile* profile, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};

}  // namespace tallowmere
