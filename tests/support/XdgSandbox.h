#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/TempDir.h"

namespace tallowmere::test {

// Points HOME and every XDG base directory of the test process at a fresh
// temporary folder for the whole run, so no test reads or writes the user's
// real settings or data. A test folder turns it on with one line:
//   static auto* const sandbox = ::testing::AddGlobalTestEnvironment(new test::XdgSandbox);
class XdgSandbox : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    // The folder that stands in for the home folder (valid between SetUp and TearDown).
    static std::filesystem::path home();

private:
    std::unique_ptr<TempDir> root_;
};

}  // namespace tallowmere::test
