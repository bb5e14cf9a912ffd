#pragma once

namespace tallowmere::desktop {

// Runs the main queue's blocks on the Qt event loop: a post from any thread
// schedules a drain on the application object's thread, and a delayed post
// arms a precise timer for its due time. Call once, on the thread of the
// QApplication, after it exists.
class EventLoopMainQueue {
public:
    EventLoopMainQueue() = delete;
    static void install();
};

}  // namespace tallowmere::desktop
