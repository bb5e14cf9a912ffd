#pragma once

#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QTreeView>

#include "menus/FeedsOutlineViewMenu.h"
#include "themes/Themable.h"

namespace tallowmere {

class FeedsOutlineModel;

// The sidebar's outline: one column without header over a clear
// background, rows 28 high, its own tinted disclosure triangles at a fixed
// place on every level, the context menu of a feed or folder row, and no
// type-to-select. Left and right arrows are not its own: they travel up to
// the widgets around it. The user cannot click or key onto the add and
// separator rows; commands can still select them. Feeds and folders are
// dragged within the outline only, and moved where they are dropped.
class FeedsOutlineView : public QTreeView, public Themable {
    Q_OBJECT
public:
    static constexpr int outlineCellLeftMargin = 20;

    explicit FeedsOutlineView(QWidget* parent = nullptr);

    FeedsOutlineModel* outlineModel() const;

    // The square where a folder row's triangle is drawn (and clicked), in
    // the viewport's coordinates; empty for rows without one.
    QRect frameOfOutlineCell(const QModelIndex& index) const;

    // The row whose border is drawn, while a context menu of it is open.
    const QPersistentModelIndex& borderedIndex() const { return borderedIndex_; }
    void setBorderedIndex(const QModelIndex& index);
    // The row whose name is drawn highlighted (the add row, while clicked).
    const QPersistentModelIndex& highlightedIndex() const { return highlightedIndex_; }
    void setHighlightedIndex(const QModelIndex& index);
    // The context menu opened last, while it exists.
    FeedsOutlineViewMenu* contextMenu() const { return contextMenu_; }

    // Rows count the rows shown, from 0 at the top, as the user sees them.
    int rowForIndex(const QModelIndex& index) const;
    QModelIndex indexAtRow(int row) const;
    int numberOfRows() const;
    int selectedRow() const;
    // Selects that one row (any row, also one the user cannot select).
    void selectRow(int row);
    void scrollRowToVisible(int row);

    void applyTheme() override;
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    // Around one drag of a row: before it starts, and once it has ended,
    // with or without a drop.
    void dragWillBegin(const QModelIndex& index);
    void dragDidEnd();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    static bool userSelectable(const QModelIndex& index);
    // Only the outline's own drags are taken.
    bool isOwnDrag(const QDropEvent* event) const;

    QPixmap disclosureOff_;
    QPixmap disclosureOn_;
    QPersistentModelIndex borderedIndex_;
    QPersistentModelIndex highlightedIndex_;
    QPointer<FeedsOutlineViewMenu> contextMenu_;
};

}  // namespace tallowmere
