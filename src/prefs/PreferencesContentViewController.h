#pragma once

#include <QSize>
#include <functional>

#include "platform/desktop/ViewController.h"

class QGridLayout;

namespace tallowmere {

// The base of every preference pane: a grid of rows, each a label and its
// control, centred in the pane; labels stand at the trailing edge of the first
// column, towards their controls. A pane adds its rows in viewDidLoad() and
// states its size through setPreferredContentSize(); the window takes that
// size when the pane is shown.
class PreferencesContentViewController : public desktop::ViewController {
    Q_OBJECT
public:
    static constexpr int width = 580;
    static constexpr int gridSpacing = 10;

    using Completion = std::function<void()>;

    explicit PreferencesContentViewController(QObject* parent = nullptr);

    // Called before the program quits. A pane with nothing of its own to save
    // calls the completion at once, so that quitting, which waits on every
    // pane, is never held up by one that has nothing to do.
    virtual void saveSettings(Completion completion);

    QGridLayout* gridView() const { return gridView_; }
    QSize preferredContentSize() const { return preferredContentSize_; }

protected:
    void loadView() override;
    // Each time the pane is about to be shown: switched to, or shown with its window.
    virtual void viewWillAppear() {}
    // Once the pane is on screen, after the show has been handled.
    virtual void viewDidAppear() {}
    // Each time the pane leaves the screen: switched away from, or its window hidden.
    virtual void viewDidDisappear() {}
    void setPreferredContentSize(QSize size) { preferredContentSize_ = size; }
    // Adds a row; without a label the first cell stays empty.
    void addRow(QWidget* label, QWidget* control);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGridLayout* gridView_ = nullptr;
    int rows_ = 0;
    QSize preferredContentSize_{width, 0};
};

}  // namespace tallowmere
