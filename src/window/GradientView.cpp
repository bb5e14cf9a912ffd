#include "window/GradientView.h"

#include <QLinearGradient>
#include <QPainter>

namespace tallowmere {

GradientView::GradientView(const QColor& startingColor, const QColor& endingColor, QWidget* parent)
    : QWidget(parent), gradient_(std::pair(startingColor, endingColor)) {}

void GradientView::setGradient(std::optional<std::pair<QColor, QColor>> gradient) {
    gradient_ = std::move(gradient);
    update();
}

void GradientView::paintEvent(QPaintEvent*) {
    if (!gradient_) return;
    QPainter painter(this);
    QLinearGradient fill(rect().topLeft(), rect().bottomLeft());
    fill.setColorAt(0, gradient_->first);
    fill.setColorAt(1, gradient_->second);
    painter.fillRect(rect(), fill);
}

}  // namespace tallowmere
