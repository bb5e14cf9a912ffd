#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace tallowmere {

// Quitting, whichever way it is asked for (closing the main window, the quit
// command, the session ending): the settings are written, feed work stops,
// the preference panes save what they hold, the store is saved and the local
// read and starred state is offered to the cloud; then replied() is emitted,
// once, on the main thread. A step whose completion never comes does not
// keep the program alive: after the bound the reply comes anyway, with a
// warning.
class TerminationCoordinator : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultBound{10000};

    // A step that ends when it calls its completion, on any thread.
    using AsyncStep = std::function<void(std::function<void()> done)>;
    struct Steps {
        std::function<void()> writeSettings;
        std::function<void()> cancelFeedWork;
        // The saves of the preference panes, read when quitting starts.
        std::function<std::vector<AsyncStep>()> paneSaves;
        AsyncStep saveStore;
        AsyncStep uploadSyncInfo;
    };

    explicit TerminationCoordinator(Steps steps, std::chrono::milliseconds bound = defaultBound,
                                    QObject* parent = nullptr);

    // The program's own steps: the shared settings, feeds manager, store and
    // sync manager; the panes as given.
    static Steps standardSteps(std::function<void()> beforeWritingSettings,
                               std::function<std::vector<AsyncStep>()> paneSaves);

    // Starts quitting; a request while quitting is under way changes nothing.
    // Main thread.
    void requestTermination();
    bool isTerminating() const { return started_; }

Q_SIGNALS:
    // `complete` is false when the bound ran out first.
    void replied(bool complete);

private:
    // Runs `next` on the main thread once `done` has been called, at most once.
    std::function<void()> onMain(std::function<void()> next);
    void joinPaneSaves();
    void saveStore();
    void upload();
    void reply(bool complete);

    Steps steps_;
    QTimer bound_;
    bool started_ = false;
    bool replied_ = false;
};

}  // namespace tallowmere
