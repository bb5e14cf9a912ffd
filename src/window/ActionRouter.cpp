#include "window/ActionRouter.h"

#include <QWidget>
#include <algorithm>

#include "platform/desktop/Application.h"
#include "platform/desktop/ViewController.h"

namespace tallowmere {

namespace {

void append(std::vector<QObject*>& chain, QObject* object) {
    if (object && std::find(chain.begin(), chain.end(), object) == chain.end()) chain.push_back(object);
}

}  // namespace

std::vector<QObject*> ActionRouter::windowChain(QWidget* window) {
    std::vector<QObject*> chain;
    if (!window) return chain;
    QWidget* widget = window->focusWidget();
    if (!widget || widget->window() != window) widget = window;
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        append(chain, widget);
        append(chain, desktop::ViewController::controllerOf(widget));
    }
    return chain;
}

std::vector<QObject*> ActionRouter::responderChain() {
    auto& application = desktop::Application::shared();
    std::vector<QObject*> chain = windowChain(application.keyWindow());
    QWidget* mainWindow = application.mainWindow();
    if (mainWindow && mainWindow != application.keyWindow()) {
        for (QObject* object : windowChain(mainWindow)) append(chain, object);
    }
    append(chain, &application);
    append(chain, application.delegate());
    return chain;
}

ActionTarget* ActionRouter::targetForAction(Action action) {
    for (QObject* object : responderChain()) {
        auto* target = dynamic_cast<ActionTarget*>(object);
        if (target && target->respondsToAction(action)) return target;
    }
    return nullptr;
}

bool ActionRouter::sendKeyEvent(QKeyEvent* event) {
    for (QObject* object : responderChain()) {
        auto* target = dynamic_cast<ActionTarget*>(object);
        if (target && target->handleKeyEvent(event)) return true;
    }
    return false;
}

void sendActionToTarget(Action action, std::any object) { sendActionToTarget(action, std::move(object), {}); }

void sendActionToTarget(Action action, std::any first, std::any second) {
    ActionTarget* target = ActionRouter::targetForAction(action);
    if (!target) return;
    target->performAction(action, ActionArguments(std::move(first), std::move(second)));
}

}  // namespace tallowmere
