#include "window/TerminationCoordinator.h"

#include <QPointer>
#include <sstream>

#include "cloud/CloudSyncManager.h"
#include "feeds/FeedsManager.h"
#include "foundation/Logger.h"
#include "platform/dispatch/MainQueue.h"
#include "store/DataController.h"
#include "store/Preferences.h"

namespace tallowmere {

TerminationCoordinator::TerminationCoordinator(Steps steps, std::chrono::milliseconds bound, QObject* parent)
    : QObject(parent), steps_(std::move(steps)) {
    bound_.setSingleShot(true);
    bound_.setTimerType(Qt::PreciseTimer);
    bound_.setInterval(bound);
    connect(&bound_, &QTimer::timeout, this, [this] {
        Logger::warning([&] {
            std::ostringstream text;
            text << "quitting without waiting longer: the last steps did not end within "
                 << bound_.interval() / 1000.0 << " s";
            return text.str();
        });
        reply(false);
    });
}

TerminationCoordinator::Steps TerminationCoordinator::standardSteps(
    std::function<void()> beforeWritingSettings, std::function<std::vector<AsyncStep>()> paneSaves) {
    Steps steps;
    steps.writeSettings = [before = std::move(beforeWritingSettings)] {
        if (before) before();
        auto preferences = Preferences::shared();
        if (auto issue = preferences->defaults().synchronize()) {
            Logger::warning([&] { return "the settings could not be written: " + issue->description(); });
        }
        preferences->cloudStore().synchronize();
    };
    steps.cancelFeedWork = [] { FeedsManager::shared().cancelAll(); };
    steps.paneSaves = std::move(paneSaves);
    steps.saveStore = [](std::function<void()> done) { DataController::shared()->save(std::move(done)); };
    steps.uploadSyncInfo = [](std::function<void()> done) {
        CloudSyncManager::shared()->uploadSyncInfo(false, std::move(done));
    };
    return steps;
}

void TerminationCoordinator::requestTermination() {
    if (started_) return;
    started_ = true;
    bound_.start();
    // Made before anything else, so that the upload at the end finds it.
    CloudSyncManager::shared();
    if (steps_.writeSettings) steps_.writeSettings();
    if (steps_.cancelFeedWork) steps_.cancelFeedWork();
    joinPaneSaves();
}

std::function<void()> TerminationCoordinator::onMain(std::function<void()> next) {
    auto called = std::make_shared<std::atomic<bool>>(false);
    QPointer<TerminationCoordinator> self(this);
    return [called, self, next = std::move(next)] {
        if (called->exchange(true)) return;
        dispatch::MainQueue::shared().async([self, next] {
            if (self && !self->replied_) next();
        });
    };
}

void TerminationCoordinator::joinPaneSaves() {
    auto saves = steps_.paneSaves ? steps_.paneSaves() : std::vector<AsyncStep>{};
    if (saves.empty()) {
        saveStore();
        return;
    }
    auto remaining = std::make_shared<std::size_t>(saves.size());
    for (auto& save : saves) {
        auto paneDone = onMain([this, remaining] {
            if (--*remaining == 0) saveStore();
        });
        // Each pane saves on a turn of its own, after the steps above.
        dispatch::MainQueue::shared().async([save = std::move(save), paneDone] { save(paneDone); });
    }
}

void TerminationCoordinator::saveStore() {
    if (!steps_.saveStore) {
        upload();
        return;
    }
    steps_.saveStore(onMain([this] { upload(); }));
}

void TerminationCoordinator::upload() {
    if (!steps_.uploadSyncInfo) {
        reply(true);
        return;
    }
    steps_.uploadSyncInfo(onMain([this] { reply(true); }));
}

void TerminationCoordinator::reply(bool complete) {
    if (replied_) return;
    replied_ = true;
    bound_.stop();
    Q_EMIT replied(complete);
}

}  // namespace tallowmere
