#pragma once

#include <functional>

#include "platform/desktop/ViewController.h"

namespace tallowmere {

// One pane of the preferences window.
class PreferencesContentViewController : public desktop::ViewController {
    Q_OBJECT
public:
    using Completion = std::function<void()>;

    explicit PreferencesContentViewController(QObject* parent = nullptr);

    // Saves what the pane holds unsaved, then calls the completion exactly
    // once. A pane with nothing of its own to save calls it at once, so that
    // whoever waits on every pane (quitting does) is never left waiting.
    virtual void saveSettings(Completion completion);
    // Re-reads the pane's values.
    virtual void refresh() {}
};

}  // namespace tallowmere
