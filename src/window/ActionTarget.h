#pragma once

#include "window/Action.h"
#include "window/ActionArguments.h"

class QKeyEvent;

namespace tallowmere {

// An object of the window that can carry out actions: a widget, a view
// controller, the application's delegate. The router asks each object of
// the chain in turn; the first that responds performs the action.
class ActionTarget {
public:
    virtual ~ActionTarget() = default;
    virtual bool respondsToAction(Action action) const = 0;
    virtual void performAction(Action action, const ActionArguments& arguments) = 0;
    // A key event that no widget took; true when handled here.
    virtual bool handleKeyEvent(QKeyEvent* /*event*/) { return false; }
};

}  // namespace tallowmere
