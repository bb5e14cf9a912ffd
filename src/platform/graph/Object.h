#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graph/ModelDescription.h"
#include "platform/graph/ObjectID.h"
#include "platform/graph/Value.h"

namespace tallowmere::graph {

class Context;
class Object;
using ObjectPtr = std::shared_ptr<Object>;

// One object of one context. Use it only inside its context's blocks.
// Attributes are read and written by key; relations are kept as inverses on
// both sides; a fault loads its row on first use.
class Object : public std::enable_shared_from_this<Object> {
public:
    Object(Context* context, const EntityDescription* entity, ObjectID id);

    const ObjectID& objectID() const { return id_; }
    const EntityDescription& entity() const { return *entity_; }
    // Nothing once the context is gone.
    Context* context() const { return context_; }
    bool isFault() const { return fault_; }
    bool isInserted() const { return inserted_; }
    bool isUpdated() const { return updated_; }
    bool isDeleted() const { return deleted_; }
    bool hasChanges() const { return inserted_ || updated_ || deleted_; }

    // Attributes and to-one keys by name; absent is std::monostate.
    Value value(std::string_view key);
    void setValue(std::string_view key, Value value);
    Value valueForKeyPath(const std::string& keyPath);

    std::optional<std::string> string(std::string_view key);
    void setString(std::string_view key, std::optional<std::string> value);
    std::int64_t integer(std::string_view key);
    void setInteger(std::string_view key, std::int64_t value);
    bool boolean(std::string_view key);
    void setBoolean(std::string_view key, bool value);
    std::optional<Date> date(std::string_view key);
    void setDate(std::string_view key, std::optional<Date> value);
    std::optional<double> real(std::string_view key);
    void setReal(std::string_view key, std::optional<double> value);
    std::optional<Bytes> binary(std::string_view key);
    void setBinary(std::string_view key, std::optional<Bytes> value);

    ObjectPtr toOne(std::string_view key);
    void setToOne(std::string_view key, const ObjectPtr& target);
    std::vector<ObjectPtr> toMany(std::string_view key);
    std::vector<ObjectID> toManyIDs(std::string_view key);
    std::size_t count(std::string_view key);
    void add(std::string_view key, const ObjectPtr& target);
    void remove(std::string_view key, const ObjectPtr& target);
    void setToMany(std::string_view key, const std::vector<ObjectPtr>& targets);

private:
    friend class Context;
    struct ToMany {
        bool loaded = false;
        std::vector<ObjectID> members;  // when loaded
        std::vector<ObjectID> added;    // since the last save
        std::vector<ObjectID> removed;
    };

    const PropertyDescription& property(std::string_view key, bool wantColumn) const;
    void fire();
    // Fires the fault and reads the property's value when it was left in the store.
    void fire(const PropertyDescription& p);
    void setSlot(const PropertyDescription& p, Value value);
    ToMany& many(const PropertyDescription& p);

    Context* context_;
    const EntityDescription* entity_;
    ObjectID id_;
    bool fault_ = true;
    bool inserted_ = false;
    bool updated_ = false;
    bool deleted_ = false;
    bool listed_ = false;  // in the context's pending list
    bool missing_ = false; // the store had no row for this fault
    bool onDemandUnread_ = false;  // loaded without its attributes loaded on demand
    std::int64_t version_ = 0;
    std::vector<Value> values_;    // by slot (attributes and to-one keys)
    std::vector<Value> snapshot_;  // the store's values as last read or saved
    std::vector<bool> dirty_;
    std::vector<std::unique_ptr<ToMany>> many_;  // by slot, made on demand
};

}  // namespace tallowmere::graph
