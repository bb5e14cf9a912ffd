#include "feeds/SaveCoalescer.h"

#include <utility>

namespace tallowmere {

void SaveCoalescer::save(Completion completion) {
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(completion));
        if (saving_) return;
        saving_ = true;
    }
    startSave();
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
        self->startSave();
    });
}

}  // namespace tallowmere
