#include "platform/desktop/ViewController.h"

#include <QDialog>
#include <QVBoxLayout>

namespace tallowmere::desktop {

namespace {
constexpr const char* kControllerProperty = "tallowmere.viewController";
}

ViewController::ViewController(QObject* parent) : QObject(parent) {}

ViewController::~ViewController() {
    if (sheetWindow_) delete sheetWindow_;
    if (view_ && !view_->parentWidget()) delete view_;
}

QWidget* ViewController::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        if (!view_) setView(new QWidget());
        loading_ = false;
        viewDidLoad();
    }
    return view_;
}

void ViewController::loadView() { setView(new QWidget()); }

void ViewController::setView(QWidget* view) {
    if (view_) view_->setProperty(kControllerProperty, QVariant());
    view_ = view;
    if (view_) view_->setProperty(kControllerProperty, QVariant::fromValue(static_cast<QObject*>(this)));
}

ViewController* ViewController::controllerOf(const QWidget* widget) {
    if (!widget) return nullptr;
    return qobject_cast<ViewController*>(widget->property(kControllerProperty).value<QObject*>());
}

std::vector<ViewController*> ViewController::children() const {
    std::vector<ViewController*> result;
    for (QObject* child : QObject::children()) {
        if (auto* controller = qobject_cast<ViewController*>(child)) result.push_back(controller);
    }
    return result;
}

void ViewController::addChild(ViewController* child) {
    if (child && child != this) child->setParent(this);
}

void ViewController::removeFromParent() { setParent(nullptr); }

void ViewController::presentAsSheet(ViewController* sheet) {
    if (!sheet || presentedSheet_) return;
    addChild(sheet);
    QWidget* owner = view()->window();
    auto* dialog = new QDialog(owner);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sheet->view());
    sheet->sheetWindow_ = dialog;
    presentedSheet_ = sheet;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void ViewController::dismissSheet() {
    if (presentedSheet_) {
        presentedSheet_->dismissSheet();
        return;
    }
    if (!sheetWindow_) return;
    QDialog* dialog = sheetWindow_;
    sheetWindow_ = nullptr;
    if (view_) view_->setParent(nullptr);  // the controller keeps its view
    dialog->hide();
    dialog->deleteLater();
    if (auto* owner = parentController(); owner && owner->presentedSheet_ == this) owner->presentedSheet_ = nullptr;
}

}  // namespace tallowmere::desktop
