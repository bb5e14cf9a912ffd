#include "window/FeedsRowView.h"

#include "window/FeedsOutlineView.h"

namespace tallowmere {

FeedsRowView::FeedsRowView(FeedsOutlineView* outline, const QModelIndex& index) : outline_(outline), index_(index) {}

bool FeedsRowView::isBordered() const {
    return outline_ && index_.isValid() && outline_->borderedIndex() == index_;
}

void FeedsRowView::setBordered(bool bordered) {
    if (!outline_) return;
    if (bordered) {
        outline_->setBorderedIndex(index_);
    } else if (outline_->borderedIndex() == index_) {
        outline_->setBorderedIndex({});
    }
}

}  // namespace tallowmere
