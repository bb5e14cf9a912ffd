#pragma once

#include <utility>

#include "platform/graph/Context.h"
#include "store/StoredObject.h"

namespace tallowmere {

// Runs `block` inside the object's own context and returns its result, or
// `fallback` when the object is gone: it has no context, or it was deleted
// (here or by a save merged in) while a menu held it.
template <typename T, typename Block>
T readUnlessGone(const StoredObject& object, T fallback, Block&& block) {
    graph::Context* context = object.context();
    if (!context) return fallback;
    T result = std::move(fallback);
    context->performAndWait([&] {
        if (!object.isDeleted()) result = block();
    });
    return result;
}

// Whether the object is still there to be read and changed.
inline bool isPresent(const StoredObject& object) {
    return readUnlessGone(object, false, [] { return true; });
}

}  // namespace tallowmere
