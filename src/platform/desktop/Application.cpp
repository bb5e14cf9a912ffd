#include "platform/desktop/Application.h"

#include <QApplication>
#include <QDBusConnection>

#include "platform/desktop/AppearanceWatcher.h"

namespace tallowmere::desktop {

Application& Application::shared() {
    // Parented to the QApplication, so it goes when the application goes.
    static QPointer<Application> instance;
    if (!instance) instance = new Application();
    return *instance;
}

Application::Application() : QObject(QCoreApplication::instance()) {}

QWidget* Application::keyWindow() const { return QApplication::activeWindow(); }

void Application::activate(QWidget* window) {
    if (!window) return;
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

AppearanceWatcher& Application::watcher() const {
    if (!watcher_) {
        auto* self = const_cast<Application*>(this);
        self->setAppearanceWatcher(new AppearanceWatcher(QDBusConnection::sessionBus(), self));
    }
    return *watcher_;
}

void Application::setAppearanceWatcher(AppearanceWatcher* watcher) {
    if (watcher_ && watcher_ != watcher) watcher_->disconnect(this);
    watcher_ = watcher;
    if (watcher_) connect(watcher_, &AppearanceWatcher::appearanceChanged, this, &Application::appearanceChanged);
}

Appearance Application::appearance() const { return watcher().appearance(); }

}  // namespace tallowmere::desktop
