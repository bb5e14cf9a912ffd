#include "prefs/PreferencesWindow.h"

#include <QWindow>

namespace tallowmere {

PreferencesWindow::PreferencesWindow() : QWidget(nullptr) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void PreferencesWindow::setTransientParent(QWidget* owner) {
    if (!owner) return;
    winId();  // makes the native window, whose parent is set below
    if (QWindow* ownerHandle = owner->window()->windowHandle(); ownerHandle && windowHandle()) {
        windowHandle()->setTransientParent(ownerHandle);
    }
}

}  // namespace tallowmere
