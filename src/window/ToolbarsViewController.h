#pragma once

#include <QPointer>

#include "platform/desktop/ViewController.h"
#include "window/Toolbar.h"

namespace tallowmere {

// The base of the panes: a content view between an optional top toolbar and
// an optional bottom toolbar, over an effect view that fills the pane and
// stays hidden unless a theme shows it. Toolbars are set before the view is
// first asked for; later ones are not laid out.
class ToolbarsViewController : public desktop::ViewController {
    Q_OBJECT
public:
    static constexpr int topToolbarHeight = 40;
    static constexpr int bottomToolbarHeight = 34;

    explicit ToolbarsViewController(QObject* parent = nullptr);
    ~ToolbarsViewController() override;

    QWidget* contentView() const { return contentView_; }
    QWidget* containerView() const { return containerView_; }
    QWidget* contentEffectView() const { return contentEffectView_; }
    Toolbar* topToolbar() const { return topToolbar_; }
    void setTopToolbar(Toolbar* toolbar) { topToolbar_ = toolbar; }
    Toolbar* bottomToolbar() const { return bottomToolbar_; }
    void setBottomToolbar(Toolbar* toolbar) { bottomToolbar_ = toolbar; }

protected:
    void loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> contentView_;
    QPointer<QWidget> containerView_;
    QPointer<QWidget> contentEffectView_;
    QPointer<Toolbar> topToolbar_;
    QPointer<Toolbar> bottomToolbar_;
};

}  // namespace tallowmere
