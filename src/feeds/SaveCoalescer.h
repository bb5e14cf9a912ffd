#pragma once

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
class SaveCoalescer : public std::enable_shared_from_this<SaveCoalescer> {
public:
    using Completion = std::function<void()>;

    explicit SaveCoalescer(std::shared_ptr<DataController> dataController)
        : dataController_(std::move(dataController)) {}

    void save(Completion completion = {});

private:
    void startSave();

    const std::shared_ptr<DataController> dataController_;
    std::mutex mutex_;
    bool saving_ = false;
    std::vector<Completion> waiting_;
};

}  // namespace tallowmere
