#include "menus/WindowMenuItem.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <algorithm>

#include "foundation/AppUtils.h"
#include "platform/desktop/Application.h"

namespace tallowmere {

WindowMenuItem::WindowMenuItem() : MenuItem(tableName, "window") { addRows(menuRows()); }

std::vector<MenuRow> WindowMenuItem::menuRows() {
    auto minimize = menuEntry("minimize", "performMiniaturize:", std::nullopt, "m");
    minimize.scope = ShortcutScope::application;
    return {
        minimize,
        menuEntry("zoom", "performZoom:"),
        MenuRow::separatorRow(),
        menuEntry("bring_all_to_front", "arrangeInFront:"),
    };
}

QList<QWidget*> WindowMenuItem::openWindows() {
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const auto type = widget->windowType();
        const bool listed = type == Qt::Window || type == Qt::Dialog;
        if (listed && (widget->isVisible() || widget->isMinimized())) {
            windows << widget;
        }
    }
    QWidget* main = desktop::Application::shared().mainWindow();
    std::sort(windows.begin(), windows.end(), [main](QWidget* left, QWidget* right) {
        if ((left == main) != (right == main)) return left == main;
        return left->windowTitle() < right->windowTitle();
    });
    return windows;
}

void WindowMenuItem::performItemCommand(const MenuRow& row, QAction*) {
    QWidget* window = QApplication::activeWindow();
    if (row.selector == "performMiniaturize:") {
        if (window) window->showMinimized();
    } else if (row.selector == "performZoom:") {
        if (window) window->isMaximized() ? window->showNormal() : window->showMaximized();
    } else if (row.selector == "arrangeInFront:") {
        for (QWidget* open : openWindows()) open->raise();
        // The window that had the keys keeps them, and is in front of the rest.
        if (window) desktop::Application::activate(window);
    }
}

bool WindowMenuItem::validateItemCommand(const MenuRow& row) const {
    if (row.selector == "arrangeInFront:") return !openWindows().isEmpty();
    return QApplication::activeWindow() != nullptr;
}

QString WindowMenuItem::entryTitle(QWidget* window) {
    // A window without a title of its own goes by the program's name.
    QString title = window->windowTitle();
    if (title.isEmpty()) title = QString::fromStdString(AppUtils::appName());
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void WindowMenuItem::menuWillOpen() { rebuildWindowList(); }

void WindowMenuItem::rebuildWindowList() {
    for (QAction* action : std::exchange(windowList_, {})) {
        menu()->removeAction(action);
        delete action;
    }
    const QList<QWidget*> windows = openWindows();
    if (windows.isEmpty()) return;
    windowList_ << menu()->addSeparator();
    for (QWidget* window : windows) {
        auto* entry = menu()->addAction(entryTitle(window));
        entry->setCheckable(true);
        entry->setChecked(window == QApplication::activeWindow());
        QPointer<QWidget> target(window);
        connect(entry, &QAction::triggered, this, [target] {
            if (target) desktop::Application::activate(target);
        });
        windowList_ << entry;
    }
}

}  // namespace tallowmere
