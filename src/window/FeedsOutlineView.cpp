#include "window/FeedsOutlineView.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "menus/FeedsOutlineViewMenu.h"
#include "themes/ThemesManager.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsRowView.h"
#include "window/TintedImage.h"

namespace tallowmere {

FeedsOutlineView::FeedsOutlineView(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("FeedsOutlineView"));
    setHeaderHidden(true);
    setIndentation(0);  // the cell indents its icon itself
    setUniformRowHeights(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(true);
    setAllColumnsShowFocus(true);
    setMouseTracking(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    // Moves only, and only of the outline's own rows; a drop never edits.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragDropOverwriteMode(false);
    // Feeds get their icons when their folder opens, before it is painted.
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (FeedsOutlineModel* model = outlineModel()) model->loadIcons(index);
    });
    applyTheme();
}

FeedsOutlineModel* FeedsOutlineView::outlineModel() const { return qobject_cast<FeedsOutlineModel*>(model()); }

void FeedsOutlineView::applyTheme() {
    const QColor tint = ThemesManager::shared().colors().feedsButtons;
    disclosureOff_ = tinted(bundleImage("DisclosureOff"), tint);
    disclosureOn_ = tinted(bundleImage("DisclosureOn"), tint);
    // Clear background; the selection looks the same in an inactive window.
    QPalette palette = this->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::transparent);
        palette.setColor(group, QPalette::Window, Qt::transparent);
        palette.setColor(group, QPalette::AlternateBase, Qt::transparent);
    }
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    setPalette(palette);
    viewport()->update();
}

void FeedsOutlineView::keyboardSearch(const QString&) {}

QRect FeedsOutlineView::frameOfOutlineCell(const QModelIndex& index) const {
    if (!index.isValid() || !index.data(FeedsOutlineModel::FolderRole).toBool()) return {};
    const QRect row = visualRect(index);
    return {outlineCellLeftMargin + 1, row.top(), row.height(), row.height()};
}

void FeedsOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The cell paints the whole row, selection included: the style's own
    // selection and focus frame (emphasized in an active window) never show.
    QStyleOptionViewItem row = option;
    row.rect = QRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    row.state &= ~(QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_MouseOver);
    if (selectionModel() && selectionModel()->isSelected(index)) row.state |= QStyle::State_Selected;
    row.widget = this;
    itemDelegateForIndex(index)->paint(painter, row, index);
    drawBranches(painter, QRect(0, row.rect.top(), 0, row.rect.height()), index);
}

void FeedsOutlineView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    if (!index.data(FeedsOutlineModel::FolderRole).toBool()) return;
    const QRect square(outlineCellLeftMargin + 1, rect.top(), rect.height(), rect.height());
    const QPixmap& image = isExpanded(index) ? disclosureOn_ : disclosureOff_;
    if (image.isNull()) return;
    const QSize size = image.deviceIndependentSize().toSize();
    const QPoint topLeft(square.center().x() - size.width() / 2 + 1, square.center().y() - size.height() / 2 + 1);
    painter->drawPixmap(topLeft, image);
}

void FeedsOutlineView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        event->ignore();  // to the widgets around the outline, never expand or collapse
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FeedsOutlineView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && frameOfOutlineCell(index).contains(event->position().toPoint())) {
        setExpanded(index, !isExpanded(index));
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void FeedsOutlineView::contextMenuEvent(QContextMenuEvent* event) {
    FeedsOutlineModel* model = outlineModel();
    const QModelIndex index = indexAt(event->pos());
    if (!model || !index.isValid()) return;
    auto item = model->item(index);
    if (!item) return;
    auto node = model->objectValue(*item);
    if (!node) return;  // smart groups have no menu
    auto* menu = new FeedsOutlineViewMenu(*node, rowForIndex(index), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* rowView = new FeedsRowView(this, index);
    menu->setBorderedRowView(rowView);
    connect(menu, &QObject::destroyed, menu, [rowView] { delete rowView; });
    contextMenu_ = menu;
    menu->popup(event->globalPos());
    event->accept();
}

void FeedsOutlineView::setBorderedIndex(const QModelIndex& index) {
    if (borderedIndex_ == index) return;
    const QModelIndex old = borderedIndex_;
    borderedIndex_ = index;
    if (old.isValid()) viewport()->update(visualRect(old));
    if (index.isValid()) viewport()->update(visualRect(index));
}

void FeedsOutlineView::setHighlightedIndex(const QModelIndex& index) {
    const QModelIndex old = highlightedIndex_;
    highlightedIndex_ = index;
    if (old.isValid()) viewport()->update(visualRect(old));
    if (index.isValid()) viewport()->update(visualRect(index));
}

bool FeedsOutlineView::userSelectable(const QModelIndex& index) {
    return index.isValid() && index.data(FeedsOutlineModel::UserSelectableRole).toBool();
}

QModelIndex FeedsOutlineView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    QModelIndex next = QTreeView::moveCursor(cursorAction, modifiers);
    if (userSelectable(next)) return next;
    const bool up = cursorAction == MoveUp || cursorAction == MovePageUp || cursorAction == MoveEnd ||
                    cursorAction == MovePrevious;
    // Past rows the user cannot select, in the direction of the move.
    for (QModelIndex step = next; step.isValid(); step = up ? indexAbove(step) : indexBelow(step)) {
        if (userSelectable(step)) return step;
    }
    for (QModelIndex step = next; step.isValid(); step = up ? indexBelow(step) : indexAbove(step)) {
        if (userSelectable(step)) return step;
    }
    return currentIndex();
}

QItemSelectionModel::SelectionFlags FeedsOutlineView::selectionCommand(const QModelIndex& index,
                                                                       const QEvent* event) const {
    if (event && !userSelectable(index)) return QItemSelectionModel::NoUpdate;
    return QTreeView::selectionCommand(index, event);
}

void FeedsOutlineView::startDrag(Qt::DropActions) {
    QModelIndex dragged;
    for (const QModelIndex& index : selectedIndexes())
        if (model()->flags(index) & Qt::ItemIsDragEnabled) dragged = index;
    if (!dragged.isValid()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData({dragged}));
    // The row as it looks over the pane, under the pointer where it was taken.
    const QRect rect = visualRect(dragged);
    const QRect row(QPoint(0, rect.top()), QSize(viewport()->width(), rect.height()));
    drag->setPixmap(window()->grab(QRect(viewport()->mapTo(window(), row.topLeft()), row.size())));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - QPoint(0, rect.top()));
    Q_EMIT dragWillBegin(dragged);
    // Nothing is removed here when it returns: the drop has moved the row.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    Q_EMIT dragDidEnd();
}

bool FeedsOutlineView::isOwnDrag(const QDropEvent* event) const {
    return event->source() == this && event->mimeData() &&
           event->mimeData()->hasFormat(FeedsOutlineModel::pasteboardType());
}

void FeedsOutlineView::dragEnterEvent(QDragEnterEvent* event) {
    if (!isOwnDrag(event)) {
        event->ignore();
        return;
    }
    QTreeView::dragEnterEvent(event);
}

void FeedsOutlineView::dragMoveEvent(QDragMoveEvent* event) {
    if (!isOwnDrag(event)) {
        event->ignore();
        return;
    }
    QTreeView::dragMoveEvent(event);
}

void FeedsOutlineView::dropEvent(QDropEvent* event) {
    if (!isOwnDrag(event)) {
        event->ignore();
        return;
    }
    QTreeView::dropEvent(event);
}

int FeedsOutlineView::rowForIndex(const QModelIndex& index) const {
    if (!index.isValid()) return -1;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
        if (!isExpanded(parent)) return -1;
    }
    int row = 0;
    for (QModelIndex step = model()->index(0, 0); step.isValid(); step = indexBelow(step), ++row) {
        if (step == index) return row;
    }
    return -1;
}

QModelIndex FeedsOutlineView::indexAtRow(int row) const {
    if (row < 0 || !model()) return {};
    QModelIndex step = model()->index(0, 0);
    for (int i = 0; i < row && step.isValid(); ++i) step = indexBelow(step);
    return step;
}

int FeedsOutlineView::numberOfRows() const {
    if (!model()) return 0;
    int rows = 0;
    for (QModelIndex step = model()->index(0, 0); step.isValid(); step = indexBelow(step)) ++rows;
    return rows;
}

int FeedsOutlineView::selectedRow() const {
    if (!selectionModel()) return -1;
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : rowForIndex(selected.first());
}

void FeedsOutlineView::selectRow(int row) {
    const QModelIndex index = indexAtRow(row);
    if (!index.isValid() || !selectionModel()) return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FeedsOutlineView::scrollRowToVisible(int row) {
    const QModelIndex index = indexAtRow(row);
    if (index.isValid()) scrollTo(index);
}

}  // namespace tallowmere
