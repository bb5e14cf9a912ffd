#include "window/MainWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaMethod>

#include "themes/ThemesManager.h"
#include "window/ActionRouter.h"

namespace tallowmere {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) { applyTheme(); }

void MainWindow::applyTheme() {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ThemesManager::shared().colors().windowBackground);
    setPalette(colours);
}

// Keys that no widget took travel on to the controllers of the window.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (ActionRouter::sendKeyEvent(event)) return event->accept();
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&MainWindow::closeRequested))) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The program quits once its termination has run; until then the window stays.
    event->ignore();
    Q_EMIT closeRequested();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    Q_EMIT frameChanged();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Q_EMIT frameChanged();
}

}  // namespace tallowmere
