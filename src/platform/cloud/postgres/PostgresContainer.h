#pragma once

#include <memory>

#include "platform/cloud/EngineContainer.h"
#include "platform/cloud/postgres/PostgresEngine.h"
#include "platform/cloud/postgres/PostgresListener.h"

namespace tallowmere::cloud {

// A container on a PostgreSQL server: one device of the role that logs in.
class PostgresContainer final : public EngineContainer {
public:
    explicit PostgresContainer(std::shared_ptr<PostgresEngine> engine);
    ~PostgresContainer() override;

    void accountStatus(AccountStatusCompletion completion) override;
    std::string accountName() const override { return engine_->account(); }

private:
    const std::shared_ptr<PostgresEngine> engine_;
    // Last, so it stops before the members it delivers to go.
    std::unique_ptr<PostgresListener> listener_;
};

}  // namespace tallowmere::cloud
