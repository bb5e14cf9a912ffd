#include "support/XdgSandbox.h"

#include <cstdlib>

namespace tallowmere::test {
namespace {

std::filesystem::path& currentHome() {
    static std::filesystem::path home;
    return home;
}

}  // namespace

void XdgSandbox::SetUp() {
    root_ = std::make_unique<TempDir>();
    const auto home = root_->path() / "home";
    std::filesystem::create_directories(home);
    currentHome() = home;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
}

void XdgSandbox::TearDown() {
    currentHome().clear();
    root_.reset();
}

std::filesystem::path XdgSandbox::home() { return currentHome(); }

}  // namespace tallowmere::test
