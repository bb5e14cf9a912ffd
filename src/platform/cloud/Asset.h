#pragma once

#include <filesystem>

namespace tallowmere::cloud {

// A file-valued field. To save one, point it at a readable local file; a
// fetched one names a readable file in the layer's asset cache folder.
struct Asset {
    std::filesystem::path fileURL;

    bool operator==(const Asset&) const = default;
};

}  // namespace tallowmere::cloud
