#pragma once

#include <QListView>
#include <QPointer>
#include <memory>
#include <vector>

#include "themes/Themable.h"
#include "menus/ArticlesTableViewMenu.h"
#include "window/ArticlesRowView.h"

namespace tallowmere {


// The list of articles: one column of fixed-height rows on the theme's
// background, no header, and the context menu of the article under the
// pointer (which leaves the selection where it is). Typing never selects.
class ArticlesTableView : public QListView, public Themable {
    Q_OBJECT
public:
    explicit ArticlesTableView(QWidget* parent = nullptr);
    ~ArticlesTableView() override;

    void applyTheme() override;

    // The row view of a row; without `makeIfNecessary`, only one that exists.
    ArticlesRowView* rowView(int row, bool makeIfNecessary);
    // The context menu for a point of the viewport: none outside the rows or
    // where the row holds no article.
    ArticlesTableViewMenu* menuForEvent(const QPoint& viewportPoint);
    // The context menu open now, if any.
    ArticlesTableViewMenu* openMenu() const { return openMenu_; }

    void keyboardSearch(const QString& search) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::unique_ptr<ArticlesRowView>> rowViews_;
    QPointer<ArticlesTableViewMenu> openMenu_;
};

}  // namespace tallowmere
