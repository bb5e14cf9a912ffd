#include "menus/AppMenuItem.h"

#include <QMenu>
#include <QMessageBox>

#include "foundation/AppUtils.h"
#include "menus/WindowMenuItem.h"
#include "platform/desktop/Application.h"
#include "window/AppDelegate.h"

namespace tallowmere {
namespace {

AppDelegate* appDelegate() { return qobject_cast<AppDelegate*>(desktop::Application::shared().delegate()); }

}  // namespace

AppMenuItem::AppMenuItem() : MenuItem(tableName, {}) {
    // The desktop shows a submenu's title, so the program's name stands there.
    menu()->setTitle(QString::fromStdString(AppUtils::appName()));
    addRows(menuRows());
}

std::vector<MenuRow> AppMenuItem::menuRows() {
    using enum KeyModifier;
    auto about = menuEntry("about", "orderFrontStandardAboutPanel:");
    about.titleNamesApp = true;
    auto preferences = menuEntry("preferences", "showPreferences", std::nullopt, ",", std::vector{command});
    auto hide = menuEntry("hide", "hide:", std::nullopt, "h", std::vector{command});
    hide.titleNamesApp = true;
    auto quit = menuEntry("quit", "terminate:", std::nullopt, "q", std::vector{command});
    quit.titleNamesApp = true;
    for (MenuRow* row : {&preferences, &hide, &quit}) row->scope = ShortcutScope::application;
    return {about, MenuRow::separatorRow(), preferences, MenuRow::separatorRow(), hide, MenuRow::separatorRow(), quit};
}

void AppMenuItem::performItemCommand(const MenuRow& row, QAction*) {
    if (row.selector == "orderFrontStandardAboutPanel:") {
        showAboutPanel();
    } else if (row.selector == "showPreferences") {
        if (auto* delegate = appDelegate()) delegate->showPreferences();
    } else if (row.selector == "hide:") {
        hideApplication();
    } else if (row.selector == "terminate:") {
        // Never straight out of the loop: the delegate saves and syncs first.
        if (auto* delegate = appDelegate()) delegate->applicationShouldTerminate();
    }
}

void AppMenuItem::showAboutPanel() {
    const QString name = QString::fromStdString(AppUtils::appName());
    auto* box = new QMessageBox(QMessageBox::NoIcon, name, name,
                                QMessageBox::Ok, desktop::Application::shared().mainWindow());
    box->setObjectName(QStringLiteral("aboutPanel"));
    box->setInformativeText(QStringLiteral("Version %1 (%2)").arg(QStringLiteral(TALLOWMERE_VERSION), QStringLiteral(TALLOWMERE_BUILD)));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void AppMenuItem::hideApplication() {
    for (QWidget* window : WindowMenuItem::openWindows()) window->showMinimized();
}

}  // namespace tallowmere
