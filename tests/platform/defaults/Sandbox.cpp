#include "support/XdgSandbox.h"

static auto* const xdgSandbox = ::testing::AddGlobalTestEnvironment(new tallowmere::test::XdgSandbox);
