#include "window/ToolbarRow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

namespace tallowmere {

namespace {
constexpr int kSpacing = 8;
std::size_t slot(ToolbarGravity gravity) { return static_cast<std::size_t>(gravity) - 1; }
}  // namespace

ToolbarRow::ToolbarRow(int inset, QWidget* parent) : QWidget(parent), inset_(inset) {
    for (std::size_t i = 0; i < areas_.size(); ++i) {
        areas_[i] = new QWidget(this);
        areas_[i]->setObjectName(QStringLiteral("toolbarArea"));
        layouts_[i] = new QHBoxLayout(areas_[i]);
        layouts_[i]->setContentsMargins(0, 0, 0, 0);
        layouts_[i]->setSpacing(kSpacing);
        areas_[i]->installEventFilter(this);
    }
}

QWidget* ToolbarRow::area(ToolbarGravity gravity) const { return areas_[slot(gravity)]; }

int ToolbarRow::controlHeight() const { return std::max(0, height() - 2 * inset_); }

void ToolbarRow::addView(QWidget* view, ToolbarGravity gravity) {
    // Controls that grow vertically (buttons) take the row's control height;
    // the others keep their own size, centred.
    const bool grows = view->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag;
    layouts_[slot(gravity)]->addWidget(view, 0, grows ? Qt::Alignment() : Qt::AlignVCenter);
    layoutAreas();
}

QSize ToolbarRow::sizeHint() const {
    int width = 2 * inset_;
    int height = 0;
    for (QWidget* area : areas_) {
        width += area->sizeHint().width();
        height = std::max(height, area->sizeHint().height());
    }
    return {width, height + 2 * inset_};
}

void ToolbarRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutAreas();
}

// A control shown or hidden after the row was laid out changes its area's
// width; the areas are placed again, or a control shown later stays in an
// area of no width.
bool ToolbarRow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LayoutRequest && std::find(areas_.begin(), areas_.end(), watched) != areas_.end())
        layoutAreas();
    return QWidget::eventFilter(watched, event);
}

void ToolbarRow::layoutAreas() {
    const QRect inner = rect().adjusted(inset_, inset_, -inset_, -inset_);
    auto widthOf = [](QWidget* area) { return area->layout()->count() ? area->sizeHint().width() : 0; };
    QWidget* leading = area(ToolbarGravity::leading);
    QWidget* center = area(ToolbarGravity::center);
    QWidget* trailing = area(ToolbarGravity::trailing);
    leading->setGeometry(inner.left(), inner.top(), widthOf(leading), inner.height());
    const int trailingWidth = widthOf(trailing);
    trailing->setGeometry(inner.right() + 1 - trailingWidth, inner.top(), trailingWidth, inner.height());
    const int centerWidth = widthOf(center);
    center->setGeometry(inner.left() + (inner.width() - centerWidth) / 2, inner.top(), centerWidth, inner.height());
}

}  // namespace tallowmere
