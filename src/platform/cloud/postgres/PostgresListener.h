#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/cloud/postgres/PostgresEngine.h"

namespace tallowmere::cloud {

// The listening connection of a container: LISTENs on its role's channel
// and, whenever a notification arrives (and after every reconnection), hands
// what other devices wrote since the last look to `deliver`, on its own
// thread. A lost connection is made again with a growing pause.
class PostgresListener {
public:
    using Deliver = std::function<void(PostgresEngine::Changes changes)>;

    PostgresListener(std::shared_ptr<PostgresEngine> engine, Deliver deliver);
    // Stops and joins the thread; no delivery runs afterwards.
    ~PostgresListener();
    PostgresListener(const PostgresListener&) = delete;
    PostgresListener& operator=(const PostgresListener&) = delete;

private:
    void run();
    void listen(PostgresEngine::ChangeCursors& cursors, bool& cursorsKnown);
    // False when asked to stop meanwhile.
    bool pause(std::chrono::milliseconds duration);

    const std::shared_ptr<PostgresEngine> engine_;
    const Deliver deliver_;
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace tallowmere::cloud
