#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

namespace tallowmere {

class PreferencesViewController;
class PreferencesWindow;

// Owns the one preferences window, whose content is the tab controller of
// the panes. Made once and reused each time the window is shown.
class PreferencesWindowController : public QObject {
    Q_OBJECT
public:
    // The window stays above `owner` (the main window) once shown.
    explicit PreferencesWindowController(QWidget* owner = nullptr, QObject* parent = nullptr);
    ~PreferencesWindowController() override;

    PreferencesWindow* window() const { return window_.get(); }
    PreferencesViewController* contentViewController() const { return contentViewController_; }
    // Shows the window (centred on the screen the first time) and brings it to the front.
    void showWindow();

private:
    void center();

    std::unique_ptr<PreferencesWindow> window_;
    PreferencesViewController* contentViewController_;
    QPointer<QWidget> owner_;
    bool shown_ = false;
};

}  // namespace tallowmere
