#include "window/Toolbar.h"

#include <QAbstractButton>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPropertyAnimation>

namespace tallowmere {

Toolbar::Toolbar(QWidget* parent) : QWidget(parent), stackView_(makeRow()) { pin(stackView_); }

Toolbar::~Toolbar() {
    // A row that is not shown has no parent; the shown one goes with the toolbar.
    for (ToolbarRow* row : {stackView_, auxStackView_}) {
        if (row && row->parentWidget() != this) delete row;
    }
}

ToolbarRow* Toolbar::makeRow() { return new ToolbarRow(inset); }

ToolbarRow* Toolbar::auxStackView() {
    if (!auxStackView_) auxStackView_ = makeRow();
    return auxStackView_;
}

ToolbarRow* Toolbar::currentStackView() {
    if (stackView_->parentWidget() == this) return stackView_;
    if (auxStackView()->parentWidget() == this) return auxStackView_;
    return nullptr;
}

void Toolbar::showAuxiliaryStackView() {
    ToolbarRow* current = currentStackView();
    if (!current || current == auxStackView()) return;
    replaceStackView(auxStackView());
}

void Toolbar::replaceStackView(ToolbarRow* row) {
    ToolbarRow* current = currentStackView();
    if (!current || !row) return;
    if (swapAnimation_) swapAnimation_->stop();
    current->hide();
    current->setParent(nullptr);
    pin(row);

    auto* fade = new QGraphicsOpacityEffect(row);
    fade->setOpacity(0.0);
    row->setGraphicsEffect(fade);
    auto* animation = new QPropertyAnimation(fade, "opacity", this);
    animation->setDuration(swapDurationMs);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    // The effect only slows painting once the row is in; it goes with the fade.
    connect(animation, &QPropertyAnimation::finished, row, [row] { row->setGraphicsEffect(nullptr); });
    connect(animation, &QPropertyAnimation::stateChanged, row, [row, fade](QAbstractAnimation::State state) {
        if (state == QAbstractAnimation::Stopped && row->graphicsEffect() == fade) row->setGraphicsEffect(nullptr);
    });
    swapAnimation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void Toolbar::addView(QWidget* view, ToolbarRow* row, ToolbarGravity gravity) {
    if (!view || !row) return;
    if (qobject_cast<QAbstractButton*>(view)) {
        view->setFixedWidth(buttonWidth);
        view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    row->addView(view, gravity);
}

void Toolbar::pin(ToolbarRow* row) {
    row->setParent(this);
    row->setGeometry(rect());
    row->show();
}

void Toolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (ToolbarRow* row = currentStackView()) row->setGeometry(rect());
}

void Toolbar::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the bar's own surface zooms; a double click that a control let
    // through does not.
    QWidget* hit = childAt(event->position().toPoint());
    const bool onBar = !hit || qobject_cast<ToolbarRow*>(hit) || hit->objectName() == QLatin1String("toolbarArea");
    QWidget* window = this->window();
    if (!onBar || !window || window == this) return;
    if (window->isMaximized()) {
        window->showNormal();
    } else {
        window->showMaximized();
    }
}

}  // namespace tallowmere
