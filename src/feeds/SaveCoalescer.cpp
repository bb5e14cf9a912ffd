#include "feeds/SaveCoalescer.h"

#include <utility>

#include "platform/dispatch/GlobalQueue.h"

namespace tallowmere {

void SaveCoalescer::save(Completion completion) {
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(completion));
        if (saving_) return;
        saving_ = true;
    }
    scheduleSave();
}

void SaveCoalescer::scheduleSave() {
    if (gathering_.count() == 0) {
        startSave();
        return;
    }
    dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility)
        .asyncAfter(gathering_, [self = shared_from_this()] { self->startSave(); });
}

void SaveCoalescer::startSave() {
    std::vector<Completion> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(waiting_);
    }
    dataController_->save([self = shared_from_this(), batch = std::move(batch)] {
        for (const Completion& completion : batch)
            if (completion) completion();
        {
            std::lock_guard lock(self->mutex_);
            if (self->waiting_.empty()) {
                self->saving_ = false;
                return;
            }
        }
        self->scheduleSave();
    });
}

}  // namespace tallowmere
