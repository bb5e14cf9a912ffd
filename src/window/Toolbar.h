#pragma once

#include <QPointer>
#include <QWidget>

#include "window/ToolbarGravity.h"
#include "window/ToolbarRow.h"

#include <QPropertyAnimation>

namespace tallowmere {

// The slim toolbar of a pane: a main row of controls, and an auxiliary row
// that can take its place with a short fade (the article list's search). A
// double click on the bar itself zooms the window.
class Toolbar : public QWidget {
    Q_OBJECT
public:
    static constexpr int inset = 8;
    static constexpr int buttonWidth = 24;
    static constexpr int swapDurationMs = 167;  // 1/6 s

    explicit Toolbar(QWidget* parent = nullptr);
    ~Toolbar() override;

    ToolbarRow* stackView() const { return stackView_; }
    // Made on first use and kept, shown or not.
    virtual ToolbarRow* auxStackView();
    // The row now shown, or none when neither row is in the toolbar.
    ToolbarRow* currentStackView();
    // Shows the auxiliary row unless it is shown already.
    virtual void showAuxiliaryStackView();
    // Swaps the current row for `row` with the fade; nothing when no row is shown.
    void replaceStackView(ToolbarRow* row);
    // Adds a control to a row; a button gets the toolbar's button width and
    // the row's control height.
    void addView(QWidget* view, ToolbarRow* row, ToolbarGravity gravity);

    // The fade of the last swap while it runs, else none.
    QPropertyAnimation* swapAnimation() const { return swapAnimation_; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ToolbarRow* makeRow();
    void pin(ToolbarRow* row);

    ToolbarRow* stackView_;
    ToolbarRow* auxStackView_ = nullptr;
    QPointer<QPropertyAnimation> swapAnimation_;
};

}  // namespace tallowmere
