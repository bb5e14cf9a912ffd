#pragma once

#include <QMenuBar>

namespace tallowmere {

// The application's main menu, shown on the main window.
class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);
};

}  // namespace tallowmere
