#include "platform/graph/ModelDescription.h"

#include <algorithm>

#include "platform/text/AsciiText.h"

namespace tallowmere::graph {

namespace {
using text::AsciiText;
constexpr auto lowercased = &AsciiText::lowercased;
}  // namespace

EntityDescription& EntityDescription::attribute(std::string name, AttributeType type) {
    PropertyDescription p;
    p.name = std::move(name);
    p.kind = PropertyKind::attribute;
    p.type = type;
    own_.push_back(std::move(p));
    return *this;
}

static PropertyDescription relation(std::string name, PropertyKind kind, std::string destination, std::string inverse,
                                    DeleteRule rule) {
    PropertyDescription p;
    p.name = std::move(name);
    p.kind = kind;
    p.destinationName = std::move(destination);
    p.inverseName = std::move(inverse);
    p.deleteRule = rule;
    return p;
}

EntityDescription& EntityDescription::toOne(std::string name, std::string destination, std::string inverse, DeleteRule rule) {
    own_.push_back(relation(std::move(name), PropertyKind::toOne, std::move(destination), std::move(inverse), rule));
    return *this;
}

EntityDescription& EntityDescription::toMany(std::string name, std::string destination, std::string inverse, DeleteRule rule) {
    own_.push_back(relation(std::move(name), PropertyKind::toMany, std::move(destination), std::move(inverse), rule));
    return *this;
}

EntityDescription& EntityDescription::orderedToMany(std::string name, std::string destination, std::string inverse,
                                                    DeleteRule rule) {
    own_.push_back(
        relation(std::move(name), PropertyKind::orderedToMany, std::move(destination), std::move(inverse), rule));
    return *this;
}

EntityDescription& EntityDescription::index(std::vector<std::string> propertyNames, std::string onlyWhereSet) {
    indexes_.push_back({std::move(propertyNames), std::move(onlyWhereSet)});
    return *this;
}

EntityDescription& EntityDescription::loadOnDemand(const std::vector<std::string>& attributeNames) {
    for (auto& p : own_)
        if (p.isAttribute() && std::find(attributeNames.begin(), attributeNames.end(), p.name) != attributeNames.end())
            p.loadsOnDemand = true;
    return *this;
}

EntityDescription& EntityDescription::compressAgainst(const std::string& attributeName, std::string dictionaryName) {
    for (auto& p : own_)
        if (p.name == attributeName) p.dictionaryName = std::move(dictionaryName);
    return *this;
}

bool EntityDescription::isKindOf(const EntityDescription* other) const {
    for (const EntityDescription* e = this; e; e = e->parent_)
        if (e == other) return true;
    return false;
}

const PropertyDescription* EntityDescription::property(std::string_view name) const {
    auto found = byName_.find(std::string(name));
    return found == byName_.end() ? nullptr : found->second;
}

ModelDescription::ModelDescription(const ModelDescription& other) {
    for (const auto& e : other.entities_) {
        EntityDescription& copy = entities_.emplace_back(e.name_, e.parentName_);
        for (const auto& p : e.own_) {
            PropertyDescription q;
            q.name = p.name;
            q.kind = p.kind;
            q.type = p.type;
            q.destinationName = p.destinationName;
            q.inverseName = p.inverseName;
            q.deleteRule = p.deleteRule;
            q.loadsOnDemand = p.loadsOnDemand;
            q.dictionaryName = p.dictionaryName;
            copy.own_.push_back(std::move(q));
        }
        copy.indexes_ = e.indexes_;
    }
    if (other.finalized_) finalize();
}

EntityDescription& ModelDescription::entity(std::string name, std::string parentName) {
    return entities_.emplace_back(std::move(name), std::move(parentName));
}

const EntityDescription* ModelDescription::entityNamed(std::string_view name) const {
    for (const auto& e : entities_)
        if (e.name_ == name) return &e;
    return nullptr;
}

// Both texts are read together only when both load on demand, and a
// dictionary that needed one itself could chain any number of texts.
std::optional<std::string> ModelDescription::resolveDictionary(const EntityDescription& e, PropertyDescription& p) {
    if (p.dictionaryName.empty()) return std::nullopt;
    const PropertyDescription* dictionary = e.property(p.dictionaryName);
    const auto isLargeText = [](const PropertyDescription& q) {
        return q.isAttribute() && q.type == AttributeType::string && q.loadsOnDemand;
    };
    if (!dictionary || !isLargeText(p) || !isLargeText(*dictionary) || dictionary->owner != p.owner ||
        dictionary->slot >= p.slot || !dictionary->dictionaryName.empty())
        return "attribute " + e.name() + "." + p.name + " cannot be compressed against " + p.dictionaryName;
    p.dictionary = dictionary;
    return std::nullopt;
}

std::optional<std::string> ModelDescription::finalize() {
    if (finalized_) return std::nullopt;
    std::size_t i = 0;
    for (auto& e : entities_) {
        e.index_ = i++;
        e.model_ = this;
        if (!e.parentName_.empty()) {
            auto* parent = const_cast<EntityDescription*>(entityNamed(e.parentName_));
            if (!parent) return "entity " + e.name_ + " names an unknown parent " + e.parentName_;
            e.parent_ = parent;
        }
    }
    // Roots, descendants and property lists (parents are declared before children).
    for (auto& e : entities_) {
        const EntityDescription* root = &e;
        while (root->parent_) root = root->parent_;
        e.root_ = root;
        for (const EntityDescription* a = &e; a; a = a->parent_) const_cast<EntityDescription*>(a)->descendants_.push_back(&e);
        if (e.parent_) const_cast<EntityDescription*>(root)->hasChildren_ = true;
        e.table_ = lowercased(e.name_);
        std::vector<const EntityDescription*> chain;
        for (const EntityDescription* a = &e; a; a = a->parent_) chain.insert(chain.begin(), a);
        for (const EntityDescription* a : chain) {
            for (auto& p : const_cast<EntityDescription*>(a)->own_) {
                if (e.byName_.count(p.name)) return "entity " + e.name_ + " declares " + p.name + " twice";
                p.owner = a;
                e.byName_[p.name] = &p;
                e.properties_.push_back(&p);
            }
        }
    }
    // Slots follow the declaring entity's position; inherited slots keep their
    // numbers in every child because parents' properties come first.
    for (auto& e : entities_) {
        for (std::size_t s = 0; s < e.properties_.size(); ++s) {
            auto* p = const_cast<PropertyDescription*>(e.properties_[s]);
            if (p->owner == &e) p->slot = s;
        }
    }
    for (auto& e : entities_) {
        for (auto& p : e.own_) {
            if (p.isAttribute()) {
                p.column = p.name;
                if (p.loadsOnDemand) const_cast<EntityDescription*>(e.root_)->largeTable_ = e.table() + "_large";
                if (auto problem = resolveDictionary(e, p)) return problem;
                continue;
            }
            p.destination = entityNamed(p.destinationName);
            if (!p.destination) return "relation " + e.name_ + "." + p.name + " names an unknown entity";
            p.inverse = p.destination->property(p.inverseName);
            if (!p.inverse || p.inverse->isAttribute() || p.inverse->inverseName != p.name)
                return "relation " + e.name_ + "." + p.name + " needs a matching inverse";
            if (p.isToOne()) {
                p.column = p.name + "_id";
                if (p.inverse->kind == PropertyKind::orderedToMany) p.orderColumn = p.name + "_order";
            }
        }
    }
    for (auto& e : entities_) {
        for (auto& p : e.own_) {
            if (!p.isManyToMany()) continue;
            const std::string mine = e.name_ + "." + p.name;
            const std::string theirs = p.destination->name() + "." + p.inverse->name;
            p.joinOwner = mine < theirs;
            p.joinTable = p.joinOwner
                              ? "j_" + lowercased(e.name_) + "_" + lowercased(p.name)
                              : "j_" + lowercased(p.destination->name()) + "_" + lowercased(p.inverse->name);
        }
    }
    finalized_ = true;
    return std::nullopt;
}

}  // namespace tallowmere::graph
