#pragma once

#include <QObject>
#include <any>
#include <optional>
#include <vector>

#include "platform/desktop/Application.h"
#include "window/ActionTarget.h"

namespace tallowmere::test {

// Stands at the end of the action chain as the application's delegate and
// records every window command it is sent, with its first object.
class RecordingActionTarget : public QObject, public ActionTarget {
public:
    struct Received {
        Action action;
        ActionArguments arguments;
    };

    RecordingActionTarget() { desktop::Application::shared().setDelegate(this); }
    ~RecordingActionTarget() override { desktop::Application::shared().setDelegate(nullptr); }

    bool respondsToAction(Action) const override { return true; }
    void performAction(Action action, const ActionArguments& arguments) override {
        received.push_back({action, arguments});
    }

    std::optional<Action> lastAction() const {
        if (received.empty()) return std::nullopt;
        return received.back().action;
    }
    template <typename T>
    std::optional<T> lastObject() const {
        if (received.empty()) return std::nullopt;
        return received.back().arguments.first<T>();
    }

    std::vector<Received> received;
};

}  // namespace tallowmere::test
