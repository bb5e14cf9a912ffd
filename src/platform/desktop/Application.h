#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/desktop/Appearance.h"

namespace tallowmere::desktop {

class AppearanceWatcher;

// The program's application object beside QApplication: its delegate, the
// key and main windows, activation and the desktop's appearance. Main
// thread only; made on first use, after the QApplication.
class Application : public QObject {
    Q_OBJECT
public:
    static Application& shared();

    QObject* delegate() const { return delegate_; }
    void setDelegate(QObject* delegate) { delegate_ = delegate; }

    // The window that receives keys: the active window (a dialog when one is up).
    QWidget* keyWindow() const;
    // The program's main window, as the window code registers it.
    QWidget* mainWindow() const { return mainWindow_; }
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    // Brings the window forward and gives it the keys.
    static void activate(QWidget* window);

    Appearance appearance() const;
    // Puts another watcher in place (tests; a watcher on a private bus).
    void setAppearanceWatcher(AppearanceWatcher* watcher);

Q_SIGNALS:
    void appearanceChanged(tallowmere::desktop::Appearance appearance);

private:
    Application();
    AppearanceWatcher& watcher() const;

    QPointer<QObject> delegate_;
    QPointer<QWidget> mainWindow_;
    mutable QPointer<AppearanceWatcher> watcher_;
};

}  // namespace tallowmere::desktop
