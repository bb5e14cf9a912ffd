#include "store/DataDirectory.h"

#include "platform/xdg/BaseDirectories.h"
#include "store/StoredModel.h"

namespace tallowmere {

std::filesystem::path DataDirectory::dataHome() { return xdg::BaseDirectories::dataHome(); }

std::filesystem::path DataDirectory::applicationDirectory() {
    return dataHome() / StoredModel::containerName;
}

}  // namespace tallowmere
