#include "window/ArticlesTableView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "menus/ArticlesTableViewMenu.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesListModel.h"

namespace tallowmere {

namespace {

// Row views beyond this many are dropped, except those drawing an outline.
constexpr std::size_t keptRowViews = 64;

}  // namespace

ArticlesTableView::ArticlesTableView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setSpacing(0);
    applyTheme();
}

ArticlesTableView::~ArticlesTableView() {
    // A menu still open outlives the rows; it must not reach them.
    if (openMenu_) openMenu_->setBorderedRowView(nullptr);
}

void ArticlesTableView::applyTheme() {
    QPalette palette = this->palette();
    const QColor background = ThemesManager::shared().colors().articlesBackground;
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    setPalette(palette);
    for (auto& rowView : rowViews_) rowView->applyTheme();
    viewport()->update();
}

ArticlesRowView* ArticlesTableView::rowView(int row, bool makeIfNecessary) {
    for (auto& rowView : rowViews_)
        if (rowView->row() == row) return rowView.get();
    if (!makeIfNecessary || !model() || row < 0 || row >= model()->rowCount()) return nullptr;
    if (rowViews_.size() >= keptRowViews) {
        std::erase_if(rowViews_, [this](const auto& view) {
            return !view->isBordered() && (!openMenu_ || openMenu_->borderedRowView() != view.get());
        });
    }
    rowViews_.push_back(std::make_unique<ArticlesRowView>(this, QPersistentModelIndex(model()->index(row, 0))));
    return rowViews_.back().get();
}

ArticlesTableViewMenu* ArticlesTableView::menuForEvent(const QPoint& viewportPoint) {
    const QModelIndex index = indexAt(viewportPoint);
    if (!index.isValid()) return nullptr;
    auto* list = qobject_cast<ArticlesListModel*>(model());
    auto article = list ? list->article(index.row()) : std::nullopt;
    if (!article) return nullptr;
    auto* menu = new ArticlesTableViewMenu(*article, list->source(), this);
    menu->setBorderedRowView(rowView(index.row(), false));
    return menu;
}

void ArticlesTableView::keyboardSearch(const QString&) {}

void ArticlesTableView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        // The window's commands: to the web page and back, the next article, the browser.
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter: event->ignore(); return;
        default: QListView::keyPressEvent(event);
    }
}

void ArticlesTableView::contextMenuEvent(QContextMenuEvent* event) {
    // The event comes through the viewport, in its coordinates.
    ArticlesTableViewMenu* menu = menuForEvent(event->pos());
    if (!menu) return;
    if (openMenu_) openMenu_->close();
    openMenu_ = menu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void ArticlesTableView::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(viewport());
        painter.fillRect(event->rect(), ThemesManager::shared().colors().articlesBackground);
    }
    QListView::paintEvent(event);
}

}  // namespace tallowmere
