#include "store/PersistentState.h"

#include <mutex>

#include "store/SettingsIssueLog.h"

namespace tallowmere {
namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<PersistentState>& sharedSlot() {
    static std::shared_ptr<PersistentState> state;
    return state;
}

}  // namespace

PersistentState::PersistentState(std::shared_ptr<defaults::UserDefaults> defaults)
    : defaults_(std::move(defaults)) {
    SettingsIssueLog::install(*defaults_);
    defaults_->registerDefaults({{firstLaunchKey, defaults::Value(true)}});
}

std::shared_ptr<PersistentState> PersistentState::shared() {
    std::lock_guard lock(sharedMutex());
    auto& state = sharedSlot();
    if (!state) state = std::make_shared<PersistentState>(defaults::UserDefaults::standard());
    return state;
}

void PersistentState::replaceShared(std::shared_ptr<PersistentState> state) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(state);
}

bool PersistentState::firstLaunch() const { return defaults_->boolean(firstLaunchKey); }

void PersistentState::setFirstLaunch(bool value) {
    defaults_->set(firstLaunchKey, defaults::Value(value));
    // A crash right after the first launch must not offer the default feeds
    // again.
    defaults_->synchronize();
}

}  // namespace tallowmere
