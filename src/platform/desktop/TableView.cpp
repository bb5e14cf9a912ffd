#include "platform/desktop/TableView.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <algorithm>

namespace tallowmere::desktop {

TableView::TableView(QWidget* parent)
    : QAbstractScrollArea(parent), header_(new QHeaderView(Qt::Horizontal, this)), headerModel_(new QStandardItemModel(this)) {
    header_->setModel(headerModel_);
    header_->setSectionsClickable(false);
    header_->setSectionsMovable(false);
    header_->setHighlightSections(false);
    // The first column takes what the others leave.
    header_->setStretchLastSection(false);
    connect(header_, &QHeaderView::sectionResized, this, [this] { layoutColumns(); });
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::StyledPanel);
    verticalScrollBar()->setSingleStep(rowHeight_);
}

void TableView::addTableColumn(Column column) {
    columns_.push_back(column);
    headerModel_->setColumnCount(static_cast<int>(columns_.size()));
    const int index = static_cast<int>(columns_.size()) - 1;
    headerModel_->setHeaderData(index, Qt::Horizontal, column.title);
    header_->setSectionResizeMode(index, index == 0 ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (index > 0) header_->resizeSection(index, column.width);
    updateGeometries();
}

void TableView::sizeColumnToFitTitle(int column) {
    if (column < 0 || column >= static_cast<int>(columns_.size())) return;
    // The title and the header's padding on both sides.
    const int width = header_->fontMetrics().horizontalAdvance(columns_[static_cast<std::size_t>(column)].title) + 24;
    columns_[static_cast<std::size_t>(column)].width = width;
    if (column > 0) header_->resizeSection(column, width);
}

void TableView::setRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    verticalScrollBar()->setSingleStep(rowHeight_);
    reloadData();
}

QWidget* TableView::makeView(const QString& identifier) {
    auto found = reusable_.find(identifier);
    if (found == reusable_.end()) return nullptr;
    auto& views = found->second;
    while (!views.empty()) {
        QPointer<QWidget> view = views.back();
        views.pop_back();
        if (view) return view;
    }
    return nullptr;
}

void TableView::reloadData() {
    for (auto it = shown_.begin(); it != shown_.end();) recycle((it++)->first);
    rows_ = dataSource_ ? std::max(0, dataSource_->numberOfRows(*this)) : 0;
    updateGeometries();
    tile();
}

QWidget* TableView::viewAt(int column, int row) const {
    auto found = shown_.find(row);
    if (found == shown_.end() || column < 0 || column >= static_cast<int>(found->second.size())) return nullptr;
    return found->second[static_cast<std::size_t>(column)];
}

void TableView::scrollRowToVisible(int row) {
    const int top = row * rowHeight_;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value()) bar->setValue(top);
    else if (top + rowHeight_ > bar->value() + viewport()->height())
        bar->setValue(top + rowHeight_ - viewport()->height());
}

void TableView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
    tile();
}

void TableView::scrollContentsBy(int, int) { tile(); }

void TableView::updateGeometries() {
    const int headerHeight = header_->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    header_->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, rows_ * rowHeight_ - viewport()->height()));
}

void TableView::layoutColumns() {
    for (auto& [row, views] : shown_) {
        for (std::size_t column = 0; column < views.size(); ++column) {
            if (!views[column]) continue;
            const int index = static_cast<int>(column);
            views[column]->setGeometry(header_->sectionViewportPosition(index),
                                       row * rowHeight_ - verticalScrollBar()->value(), header_->sectionSize(index),
                                       rowHeight_);
        }
    }
}

void TableView::recycle(int row) {
    auto found = shown_.find(row);
    if (found == shown_.end()) return;
    for (std::size_t column = 0; column < found->second.size(); ++column) {
        QPointer<QWidget> view = found->second[column];
        if (!view) continue;
        view->hide();
        reusable_[columns_[column].identifier].push_back(view);
    }
    shown_.erase(found);
}

void TableView::tile() {
    const int offset = verticalScrollBar()->value();
    const int first = std::max(0, offset / rowHeight_);
    const int last = std::min(rows_ - 1, (offset + viewport()->height()) / rowHeight_);
    for (auto it = shown_.begin(); it != shown_.end();) {
        const int row = (it++)->first;
        if (row < first || row > last) recycle(row);
    }
    if (dataSource_) {
        for (int row = first; row <= last; ++row) {
            if (shown_.count(row)) continue;
            std::vector<QPointer<QWidget>> views;
            for (const Column& column : columns_) {
                QWidget* view = dataSource_->viewFor(*this, column, row);
                if (view && view->parentWidget() != viewport()) view->setParent(viewport());
                views.emplace_back(view);
            }
            shown_[row] = std::move(views);
        }
    }
    layoutColumns();
    for (auto& [row, views] : shown_)
        for (auto& view : views)
            if (view) view->show();
}

}  // namespace tallowmere::desktop
