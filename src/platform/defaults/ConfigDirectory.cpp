#include "platform/defaults/ConfigDirectory.h"

#include "platform/xdg/BaseDirectories.h"

namespace tallowmere::defaults {

std::filesystem::path ConfigDirectory::configHome() { return xdg::BaseDirectories::configHome(); }

std::filesystem::path ConfigDirectory::applicationDirectory() { return configHome() / "Tallowmere"; }

}  // namespace tallowmere::defaults
