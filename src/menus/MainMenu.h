#pragma once

#include <QMenuBar>

namespace tallowmere {

// The application's main menu bar. Its submenus come with the menus of the
// program; until then it is empty.
class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    // The submenu that lists the windows; none while the bar is empty.
    QMenu* windowMenu() const { return windowMenu_; }

private:
    QMenu* windowMenu_ = nullptr;
};

}  // namespace tallowmere
