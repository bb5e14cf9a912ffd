#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tallowmere::graph {

class EntityDescription;

// Identifies one object of one store. The key is positive once permanent
// (the row's primary key, never reused) and negative while temporary (an
// object inserted in a context and neither saved nor given a permanent ID).
// The entity belongs to one container, so an ID carries its store with it.
class ObjectID {
public:
    ObjectID() = default;
    ObjectID(const EntityDescription* entity, std::int64_t key) : entity_(entity), key_(key) {}

    const EntityDescription* entity() const { return entity_; }
    std::int64_t key() const { return key_; }
    bool isTemporary() const { return key_ < 0; }
    bool isValid() const { return entity_ != nullptr && key_ != 0; }
    // tallowmere://<store-uuid>/<Entity>/p<key> for permanent IDs,
    // tallowmere://<store-uuid>/<Entity>/t<key> for temporary ones.
    std::string uriRepresentation() const;

    bool operator==(const ObjectID& other) const;
    bool operator!=(const ObjectID& other) const { return !(*this == other); }
    bool operator<(const ObjectID& other) const;
    std::size_t hash() const;

private:
    const EntityDescription* entity_ = nullptr;
    std::int64_t key_ = 0;
};

struct ObjectIDHash {
    std::size_t operator()(const ObjectID& id) const { return id.hash(); }
};

}  // namespace tallowmere::graph

template <>
struct std::hash<tallowmere::graph::ObjectID> {
    std::size_t operator()(const tallowmere::graph::ObjectID& id) const { return id.hash(); }
};
