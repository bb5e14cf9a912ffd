#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

#include "feeds/OPMLFolder.h"
#include "feeds/OPMLResult.h"

namespace tallowmere {

// Reads the groups of feeds out of a subscription list. The read is lenient
// (stray "&", unknown entities and small faults are read past), never touches
// the network and bounds entity expansion. The outlines directly under a
// "body" make the groups: a top-level outline without children is a feed
// outside any folder, one with children a folder named by its "text" (else
// "title") whose feeds are the outlines below it, at any depth, with an
// "xmlUrl" (folders are one level deep, so a deeper feed goes into its
// top-level folder). Groups without any feed URL are dropped.
class OPMLReader {
public:
    // Larger files are refused rather than read into memory.
    static constexpr std::size_t maximumFileSize = 64u << 20;
    // Text that entities declared by the file may add, in all.
    static constexpr std::size_t entityExpansionBudget = 1u << 20;

    static OPMLResult<std::vector<OPMLFolder>> read(const std::filesystem::path& file);
    // The same over bytes already in memory; `file` only names them in errors.
    static OPMLResult<std::vector<OPMLFolder>> parse(std::string_view bytes, const std::filesystem::path& file);
};

}  // namespace tallowmere
