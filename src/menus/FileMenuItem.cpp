#include "menus/FileMenuItem.h"

#include <QApplication>
#include <QWidget>

namespace tallowmere {

FileMenuItem::FileMenuItem() : MenuItem(tableName, "file") { addRows(menuRows()); }

std::vector<MenuRow> FileMenuItem::menuRows() {
    auto close = menuEntry("close_window", "close", std::nullopt, "w");
    close.scope = ShortcutScope::application;
    return {
        menuEntry("import_opml", "importOPML", Action::importOPML),
        menuEntry("export_opml", "exportOPML", Action::exportOPML),
        MenuRow::separatorRow(),
        close,
    };
}

void FileMenuItem::performItemCommand(const MenuRow& row, QAction*) {
    if (row.selector != "close") return;
    if (QWidget* window = QApplication::activeWindow()) window->close();
}

bool FileMenuItem::validateItemCommand(const MenuRow&) const { return QApplication::activeWindow() != nullptr; }

}  // namespace tallowmere
