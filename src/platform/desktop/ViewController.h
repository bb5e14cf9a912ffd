#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

#include <QDialog>

namespace tallowmere::desktop {

// Owns a view that it makes on first demand: view() runs loadView() and then
// viewDidLoad() once. Controllers form a tree (parent and children); a
// controller can show another as a sheet, a window-modal dialog over its
// window. A view that has no parent widget is deleted with its controller.
class ViewController : public QObject {
    Q_OBJECT
public:
    explicit ViewController(QObject* parent = nullptr);
    ~ViewController() override;

    QWidget* view();
    bool isViewLoaded() const { return view_ != nullptr; }

    ViewController* parentController() const { return qobject_cast<ViewController*>(parent()); }
    std::vector<ViewController*> children() const;
    void addChild(ViewController* child);
    void removeFromParent();

    // Shows `sheet`'s view in a window-modal dialog over this controller's
    // window; the controller becomes a child of this one.
    void presentAsSheet(ViewController* sheet);
    // Closes the sheet this controller shows, or the one it is shown in.
    void dismissSheet();
    QDialog* sheetWindow() const { return sheetWindow_; }
    ViewController* presentedSheet() const { return presentedSheet_; }

    // The controller whose view the widget is, or none.
    static ViewController* controllerOf(const QWidget* widget);

protected:
    // Makes the view; the default is a plain widget.
    virtual void loadView();
    virtual void viewDidLoad() {}
    void setView(QWidget* view);

private:
    QPointer<QWidget> view_;
    QPointer<QDialog> sheetWindow_;  // the dialog that shows this controller
    QPointer<ViewController> presentedSheet_;
    bool loading_ = false;
};

}  // namespace tallowmere::desktop
