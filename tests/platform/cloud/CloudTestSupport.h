#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/CloudCalls.h"
#include "support/PostgresCluster.h"
#include "support/TempDir.h"
#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"

namespace tallowmere::test {

// One backing of the contract suite: how to reach it as an account, and
// why it cannot run here (nothing when it can). Only a backing whose
// server is not installed is skipped; one that fails to start fails.
struct CloudBacking {
    std::string name;
    std::function<cloud::Configuration(const std::filesystem::path& folder, const std::string& account)> configure;
    std::function<std::optional<std::string>()> missing = [] { return std::optional<std::string>(); };
    std::function<bool()> installed = [] { return true; };
};

inline void PrintTo(const CloudBacking& backing, std::ostream* out) { *out << backing.name; }

inline std::vector<CloudBacking> cloudBackings() {
    return {{"embedded", [](const std::filesystem::path& folder, const std::string& account) {
                 auto configuration = cloud::Configuration::localFile(folder / "cloud.sqlite", account);
                 configuration.assetCacheDirectory = folder / ("assets-" + account);
                 return configuration;
             }},
            // Accounts are roles of the cluster; each test folder has a database of its own.
            {"postgres",
             [](const std::filesystem::path& folder, const std::string& account) {
                 auto* cluster = PostgresCluster::shared();
                 auto configuration =
                     cloud::Configuration::postgres(cluster->connectionString(cluster->databaseFor(folder), account));
                 configuration.assetCacheDirectory = folder / ("assets-" + account);
                 return configuration;
             },
             []() -> std::optional<std::string> {
                 std::string problem;
                 if (PostgresCluster::shared(&problem)) return std::nullopt;
                 return problem;
             },
             [] { return PostgresCluster::isInstalled(); }}};
}

inline std::string backingName(const ::testing::TestParamInfo<CloudBacking>& info) { return info.param.name; }

// Collects pushes delivered to one device.
class PushInbox {
public:
    cloud::Container::PushHandler handler() {
        return [this](const cloud::Notification& notification) {
            std::lock_guard lock(mutex_);
            received_.push_back(notification);
            changed_.notify_all();
        };
    }
    // What arrived once there are `count` pushes (or after ten seconds).
    std::vector<cloud::Notification> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return received_.size() >= count; });
        return received_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<cloud::Notification> received_;
};

// Every contract case runs on each backing; devices are containers of an
// account on the test's own backing.
class CloudContractTest : public ::testing::TestWithParam<CloudBacking> {
protected:
    void SetUp() override {
        if (const auto missing = GetParam().missing()) {
            if (!GetParam().installed()) GTEST_SKIP() << "the " << GetParam().name << " backing is not installed: " << *missing;
            FAIL() << "the " << GetParam().name << " backing cannot run: " << *missing;
        }
    }
    cloud::Configuration configuration(const std::string& account) {
        return GetParam().configure(folder_.path(), account);
    }
    std::shared_ptr<cloud::Container> device(const std::string& account = "alice") {
        auto container = cloud::Container::make(configuration(account));
        devices_.push_back(container);
        return container;
    }

    TempDir folder_;
    std::vector<std::shared_ptr<cloud::Container>> devices_;
};

inline cloud::Date microsecondDate(std::int64_t microseconds) {
    return cloud::Date(std::chrono::microseconds(microseconds));
}

}  // namespace tallowmere::test
