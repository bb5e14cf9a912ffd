#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QRectF>

#include "themes/Themable.h"
#include "window/BorderedRowView.h"

class QPainter;

namespace tallowmere {

class ArticlesTableView;

// One row of the article list as far as the row itself goes: its selection
// fill in the theme's colour and its outline while the row's context menu is
// open. It follows its row through inserts and moves.
class ArticlesRowView : public BorderedRowView, public Themable {
public:
    static constexpr const char* identifier = "ArticlesRowView";
    static constexpr double height = 115.0;
    // The outline: inset from the row, rounded, stroked in the theme's colour.
    static constexpr double borderInsetX = 4.0;
    static constexpr double borderInsetY = 1.0;
    static constexpr double borderRadius = 4.0;
    static constexpr double borderWidth = 2.0;

    ArticlesRowView(ArticlesTableView* table, const QPersistentModelIndex& index);

    // -1 once the row is gone.
    int row() const { return index_.isValid() ? index_.row() : -1; }
    bool isBordered() const override { return bordered_; }
    void setBordered(bool bordered) override;
    void drawSelection(QPainter* painter, const QRectF& dirtyRect) const;
    void drawBorder(QPainter* painter, const QRectF& rowRect) const;
    void applyTheme() override;

private:
    void repaint() const;

    QPointer<ArticlesTableView> table_;
    QPersistentModelIndex index_;
    bool bordered_ = false;
};

}  // namespace tallowmere
