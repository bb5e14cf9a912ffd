#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/cloud/EmbeddedEngine.h"

namespace tallowmere::cloud {

// Watches the cloud file for other devices' writes: wakes on inotify events
// of the file's folder (the file and its write-ahead log), or every 500 ms
// when inotify is not there, and hands what changed to `deliver` on its own
// thread.
class EmbeddedWatcher {
public:
    using Deliver = std::function<void(EmbeddedEngine::Changes changes)>;

    EmbeddedWatcher(std::shared_ptr<EmbeddedEngine> engine, Deliver deliver);
    // Stops and joins the thread; no delivery runs afterwards.
    ~EmbeddedWatcher();
    EmbeddedWatcher(const EmbeddedWatcher&) = delete;
    EmbeddedWatcher& operator=(const EmbeddedWatcher&) = delete;

private:
    void run();

    const std::shared_ptr<EmbeddedEngine> engine_;
    const Deliver deliver_;
    int stopFd_ = -1;
    int inotifyFd_ = -1;
    std::thread thread_;
};

}  // namespace tallowmere::cloud
