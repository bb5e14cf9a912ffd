#include "window/ProgressIndicator.h"

#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace tallowmere {

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
}  // namespace

ProgressIndicator::ProgressIndicator(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void ProgressIndicator::setTintColor(const QColor& color) {
    tintColor_ = color;
    update();
}

QColor ProgressIndicator::spokeColor() const {
    return tintColor_.isValid() ? tintColor_ : palette().color(QPalette::WindowText);
}

void ProgressIndicator::startAnimation() {
    timer_.start();
    update();
}

void ProgressIndicator::stopAnimation() {
    timer_.stop();
    update();
}

void ProgressIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal outer = side / 2.0;
    const qreal inner = outer * 0.45;
    QPen pen(spokeColor());
    pen.setWidthF(std::max<qreal>(1.5, side / 10.0));
    pen.setCapStyle(Qt::RoundCap);
    const QColor base = spokeColor();
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is full; the ones behind it fade.
        const int age = (step_ - i + kSpokes) % kSpokes;
        QColor color = base;
        color.setAlphaF(base.alphaF() * (1.0F - 0.75F * static_cast<float>(age) / kSpokes));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + pen.widthF() / 2));
        painter.restore();
    }
}

}  // namespace tallowmere
