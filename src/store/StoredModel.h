#pragma once

#include <cstddef>

#include "platform/graph/ModelDescription.h"

namespace tallowmere {

// The description of what the store holds: Node (with its children Feed and
// Folder), Article and Tag, their attributes, relations and indexes.
class StoredModel {
public:
    StoredModel() = delete;

    // The container's name: the store file's name and the folder around it.
    static constexpr const char* containerName = "Tallowmere";
    // The largest text or data value the entity handles accept. Anything a
    // feed, page or file can deliver stays far below it; a larger value would
    // make SQLite refuse the save, which must never stop the program.
    static constexpr std::size_t maximumValueSize = 64u * 1024 * 1024;

    // A finalised description, built once.
    static const graph::ModelDescription& description();
};

}  // namespace tallowmere
