#pragma once

#include <QObject>
#include <any>
#include <vector>

#include "window/Action.h"
#include "window/ActionTarget.h"

class QKeyEvent;
class QWidget;

namespace tallowmere {

// Finds the object that carries out an action with no explicit receiver.
// The chain, in order: the key window's focus widget and its parents up to
// the window (a controller's view hands on to its controller); then, when
// another window is the main window, the same walk through the main window;
// then the application object and its delegate.
class ActionRouter {
public:
    ActionRouter() = delete;

    static std::vector<QObject*> responderChain();
    // The chain of one window, from its focus widget up.
    static std::vector<QObject*> windowChain(QWidget* window);
    // The first object of the chain that responds to the action, or none.
    static ActionTarget* targetForAction(Action action);
    // Offers a key event that no widget took to the chain; true when one
    // handled it.
    static bool sendKeyEvent(QKeyEvent* event);
};

// Sends the action with one or two objects to the first object of the chain
// that responds to it; dropped without a word when none does. Main thread.
void sendActionToTarget(Action action, std::any object = {});
void sendActionToTarget(Action action, std::any first, std::any second);

}  // namespace tallowmere
