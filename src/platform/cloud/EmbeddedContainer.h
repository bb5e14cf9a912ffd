#pragma once

#include <memory>

#include "platform/cloud/EmbeddedEngine.h"
#include "platform/cloud/EmbeddedWatcher.h"
#include "platform/cloud/EngineContainer.h"

namespace tallowmere::cloud {

// A container on the embedded engine: one device of its account on the
// cloud file.
class EmbeddedContainer final : public EngineContainer {
public:
    explicit EmbeddedContainer(std::shared_ptr<EmbeddedEngine> engine);
    ~EmbeddedContainer() override;

    void accountStatus(AccountStatusCompletion completion) override;
    std::string accountName() const override { return engine_->account(); }

private:
    const std::shared_ptr<EmbeddedEngine> engine_;
    // Last, so it stops before the members it delivers to go.
    std::unique_ptr<EmbeddedWatcher> watcher_;
};

}  // namespace tallowmere::cloud
