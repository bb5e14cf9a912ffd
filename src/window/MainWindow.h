#pragma once

#include <QMainWindow>

#include "themes/Themable.h"

namespace tallowmere {

// The program's one main window, with the desktop's ordinary decorations, in
// the theme's window background. Closing it is a request to quit: with a
// receiver of closeRequested() the window stays until the program ends.
class MainWindow : public QMainWindow, public Themable {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    void applyTheme() override;

Q_SIGNALS:
    void closeRequested();
    // The window moved or changed size.
    void frameChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace tallowmere
