#pragma once

namespace tallowmere {

// A row that can draw a border around itself, used to outline the row whose
// context menu is open. Item views paint rows through a delegate, so the
// view or its model implements this for the row it was handed.
class BorderedRowView {
public:
    virtual ~BorderedRowView() = default;
    virtual bool isBordered() const = 0;
    virtual void setBordered(bool bordered) = 0;
};

}  // namespace tallowmere
