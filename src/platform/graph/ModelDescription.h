#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tallowmere::graph {

enum class AttributeType { string, integer16, integer64, boolean, date, binary, real };
enum class PropertyKind { attribute, toOne, toMany, orderedToMany };
// What deleting the source does to the objects the relation names.
enum class DeleteRule { nullify, cascade };

class EntityDescription;

struct PropertyDescription {
    std::string name;
    PropertyKind kind = PropertyKind::attribute;
    AttributeType type = AttributeType::string;  // attributes only
    std::string destinationName;                 // relations only
    std::string inverseName;                     // relations only
    DeleteRule deleteRule = DeleteRule::nullify;

    // Resolved when the model is finalised.
    std::size_t slot = 0;  // index in the entity's property list
    const EntityDescription* owner = nullptr;
    const EntityDescription* destination = nullptr;
    const PropertyDescription* inverse = nullptr;
    std::string column;       // attribute or to-one foreign key column
    std::string orderColumn;  // to-one whose inverse is ordered
    std::string joinTable;    // many-to-many
    bool joinOwner = false;   // this side's key is the join table's "src"
    // A large attribute that loads of many objects at once leave in the
    // store; it is read when first used. It lives in the root's large table,
    // so that changing the small columns of a row never rewrites it.
    bool loadsOnDemand = false;
    // A large text stored compressed against another large text of the same
    // object (declared before it), which it repeats in good part.
    std::string dictionaryName;
    const PropertyDescription* dictionary = nullptr;

    bool isAttribute() const { return kind == PropertyKind::attribute; }
    bool isToOne() const { return kind == PropertyKind::toOne; }
    bool isToMany() const { return kind == PropertyKind::toMany || kind == PropertyKind::orderedToMany; }
    bool isManyToMany() const { return isToMany() && inverse != nullptr && inverse->isToMany(); }
    // Stored as a column of the owner's table (attribute or to-one key).
    bool hasColumn() const { return isAttribute() || isToOne(); }
};

// One entity of the model: its own properties plus those it inherits. A
// child entity shares its root's table; the "entity" column tells rows apart.
struct IndexDescription {
    std::vector<std::string> properties;
    std::string onlyWhereSet;  // empty: every row
};

class EntityDescription {
public:
    EntityDescription(std::string name, std::string parentName) : name_(std::move(name)), parentName_(std::move(parentName)) {}

    EntityDescription& attribute(std::string name, AttributeType type);
    EntityDescription& toOne(std::string name, std::string destination, std::string inverse,
                             DeleteRule rule = DeleteRule::nullify);
    EntityDescription& toMany(std::string name, std::string destination, std::string inverse,
                              DeleteRule rule = DeleteRule::nullify);
    EntityDescription& orderedToMany(std::string name, std::string destination, std::string inverse,
                                     DeleteRule rule = DeleteRule::nullify);
    // An index over the named attributes or to-one relations; with
    // `onlyWhereSet`, of the rows whose that property has a value only.
    EntityDescription& index(std::vector<std::string> propertyNames, std::string onlyWhereSet = {});
    // Large attributes (declared before) that batch loads leave in the store
    // until an object's value is used: lists then read only what they show.
    EntityDescription& loadOnDemand(const std::vector<std::string>& attributeNames);
    // Stores the large text `attributeName` compressed against the large
    // text `dictionaryName` (declared before it, itself stored on its own).
    EntityDescription& compressAgainst(const std::string& attributeName, std::string dictionaryName);

    const std::string& name() const { return name_; }
    const EntityDescription* parent() const { return parent_; }
    const EntityDescription* root() const { return root_; }
    const std::vector<const EntityDescription*>& descendants() const { return descendants_; }  // self included
    bool isKindOf(const EntityDescription* other) const;
    const std::string& table() const { return root_->table_; }
    // Holds the attributes loaded on demand of every entity in the table,
    // one row per object keyed by its id; empty when there are none.
    const std::string& largeTable() const { return root_->largeTable_; }
    bool hasEntityColumn() const { return root_->hasChildren_; }

    // Properties in slot order: inherited first.
    const std::vector<const PropertyDescription*>& properties() const { return properties_; }
    const PropertyDescription* property(std::string_view name) const;
    std::size_t propertyCount() const { return properties_.size(); }
    std::size_t index() const { return index_; }
    const class ModelDescription* model() const { return model_; }

private:
    friend class ModelDescription;
    std::string name_;
    std::string parentName_;
    std::deque<PropertyDescription> own_;
    std::vector<IndexDescription> indexes_;

    const EntityDescription* parent_ = nullptr;
    const EntityDescription* root_ = this;
    std::vector<const EntityDescription*> descendants_;
    std::vector<const PropertyDescription*> properties_;
    std::unordered_map<std::string, const PropertyDescription*> byName_;
    std::string table_;
    std::string largeTable_;
    bool hasChildren_ = false;
    std::size_t index_ = 0;
    const class ModelDescription* model_ = nullptr;
};

// The small model description from which a container builds its schema.
class ModelDescription {
public:
    ModelDescription() = default;
    ModelDescription(const ModelDescription& other);
    ModelDescription& operator=(const ModelDescription&) = delete;

    EntityDescription& entity(std::string name, std::string parentName = {});
    // Resolves parents, inverses and storage; returns an error text or nothing.
    std::optional<std::string> finalize();

    const EntityDescription* entityNamed(std::string_view name) const;
    const std::deque<EntityDescription>& entities() const { return entities_; }
    const std::vector<IndexDescription>& indexesOf(const EntityDescription& entity) const { return entity.indexes_; }
    bool finalized() const { return finalized_; }

    // Set by the container that owns this copy of the model.
    const std::string& storeIdentifier() const { return storeIdentifier_; }
    void setStoreIdentifier(std::string identifier) { storeIdentifier_ = std::move(identifier); }

private:
    static std::optional<std::string> resolveDictionary(const EntityDescription& e, PropertyDescription& p);

    std::deque<EntityDescription> entities_;
    bool finalized_ = false;
    std::string storeIdentifier_;
};

}  // namespace tallowmere::graph
