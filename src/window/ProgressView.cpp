#include "window/ProgressView.h"

#include <QPalette>
#include <QVariantAnimation>
#include <cmath>

namespace tallowmere {

ProgressView::ProgressView(const QColor& color, QWidget* parent) : QWidget(parent), barView_(new QWidget(this)) {
    barView_->setObjectName(QStringLiteral("progressBar"));
    barView_->setAutoFillBackground(true);
    setBarWidth(0);
    setColor(color);
}

void ProgressView::setColor(const QColor& color) {
    color_ = color;
    QPalette palette = barView_->palette();
    palette.setColor(QPalette::Window, color.isValid() ? color : QColor(Qt::transparent));
    barView_->setPalette(palette);
    barView_->setAutoFillBackground(color.isValid());
}

void ProgressView::setBarWidth(int width) { barView_->setGeometry(0, 0, std::max(width, 0), height()); }

void ProgressView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The bar keeps its width (it follows the view only on the next
    // progress) and always fills the height.
    setBarWidth(barView_->width());
}

void ProgressView::setProgress(double progress) {
    progress_ = progress;
    targetWidth_ = static_cast<int>(std::lround(width() * progress));
    if (animation_) animation_->stop();
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(animationDurationMs);
    animation->setStartValue(barView_->width());
    animation->setEndValue(targetWidth_);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { setBarWidth(value.toInt()); });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ProgressView::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (visible) return;
    if (animation_) animation_->stop();
    targetWidth_ = 0;
    setBarWidth(0);
}

}  // namespace tallowmere
