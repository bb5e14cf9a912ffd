#pragma once

#include <QWidget>

namespace tallowmere {

// The preferences window: titled and closable, neither resizable nor
// minimisable; its size is set to fit the pane it shows. It stays above the
// main window it belongs to, which keeps being the program's main window.
class PreferencesWindow : public QWidget {
    Q_OBJECT
public:
    PreferencesWindow();

    // The window it belongs to (kept above it by the window manager).
    void setTransientParent(QWidget* owner);
};

}  // namespace tallowmere
