#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace tallowmere {

class PreferencesViewController;

// Owns the preferences window, whose content is the panes' tab controller.
class PreferencesWindowController : public QObject {
    Q_OBJECT
public:
    explicit PreferencesWindowController(QObject* parent = nullptr);
    ~PreferencesWindowController() override;

    QWidget* window() const { return window_; }
    PreferencesViewController* contentViewController() const { return contentViewController_; }
    void showWindow();

private:
    PreferencesViewController* contentViewController_;
    QPointer<QWidget> window_;
};

}  // namespace tallowmere
