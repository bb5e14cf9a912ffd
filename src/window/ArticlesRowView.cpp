#include "window/ArticlesRowView.h"

#include <QPainter>
#include <QPainterPath>

#include "themes/ThemesManager.h"
#include "window/ArticlesTableView.h"

namespace tallowmere {

ArticlesRowView::ArticlesRowView(ArticlesTableView* table, const QPersistentModelIndex& index)
    : table_(table), index_(index) {}

void ArticlesRowView::setBordered(bool bordered) {
    bordered_ = bordered;
    repaint();
}

void ArticlesRowView::drawSelection(QPainter* painter, const QRectF& dirtyRect) const {
    // The theme's colour covers the platform's own selection, in active and
    // inactive windows alike.
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->fillRect(dirtyRect, ThemesManager::shared().colors().articlesSelectedRow);
    painter->restore();
}

void ArticlesRowView::drawBorder(QPainter* painter, const QRectF& rowRect) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(ThemesManager::shared().colors().rowBorder, borderWidth);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(rowRect.adjusted(borderInsetX, borderInsetY, -borderInsetX, -borderInsetY), borderRadius,
                             borderRadius);
    painter->restore();
}

void ArticlesRowView::applyTheme() { repaint(); }

void ArticlesRowView::repaint() const {
    if (!table_ || !index_.isValid()) return;
    table_->viewport()->update(table_->visualRect(index_));
}

}  // namespace tallowmere
