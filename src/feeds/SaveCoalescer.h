#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "store/DataController.h"

namespace tallowmere {

// Asks the save chain for saves on behalf of many small writers. A request
// made while a save is under way is served by the next save, which then
// serves every request made meanwhile: a burst of merges costs a few saves
// (and a few merges into the main context) rather than one each. Every
// completion runs exactly once, after a save that began after its request.
//
// With a gathering time, a save begins that long after the first request it
// serves: the writers of a burst, who take turns with the saves for the same
// context, then share one transaction by many rather than one by two.
class SaveCoalescer : public std::enable_shared_from_this<SaveCoalescer> {
public:
    using Completion = std::function<void()>;

    explicit SaveCoalescer(std::shared_ptr<DataController> dataController,
                           std::chrono::milliseconds gathering = std::chrono::milliseconds(0))
        : dataController_(std::move(dataController)), gathering_(gathering) {}

    void save(Completion completion = {});

private:
    void startSave();

    // After the gathering time, when there is one.
    void scheduleSave();

    const std::shared_ptr<DataController> dataController_;
    const std::chrono::milliseconds gathering_;
    std::mutex mutex_;
    bool saving_ = false;
    std::vector<Completion> waiting_;
};

}  // namespace tallowmere
