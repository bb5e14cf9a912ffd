#pragma once

#include <QPersistentModelIndex>
#include <QPointer>

#include "window/BorderedRowView.h"

namespace tallowmere {

class FeedsOutlineView;

// One row of the sidebar as the context menu sees it: bordering it makes the
// outline draw the row's outline while the menu is open. Rows are painted by
// the cell delegate, so this is a handle on the outline and the row's index.
class FeedsRowView : public BorderedRowView {
public:
    static constexpr const char* identifier = "FeedsRowView";
    // The height of every sidebar row, and the indentation step of a level.
    static constexpr int height = 28;

    FeedsRowView(FeedsOutlineView* outline, const QModelIndex& index);

    bool isBordered() const override;
    void setBordered(bool bordered) override;
    const QPersistentModelIndex& index() const { return index_; }

private:
    QPointer<FeedsOutlineView> outline_;
    QPersistentModelIndex index_;
};

}  // namespace tallowmere
