#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/graph/GraphError.h"
#include "platform/graph/ModelDescription.h"
#include "platform/graph/Value.h"

namespace tallowmere::graph {

// A SELECT over one entity being put together: joins for key paths through
// to-one relations (alias t0 is the entity's own table) and bound parameters.
class SqlQuery {
public:
    explicit SqlQuery(const EntityDescription& entity) : entity_(entity) {}

    const EntityDescription& entity() const { return entity_; }
    // The SQL expression of a key path, adding the joins it needs. The last
    // component is an attribute, a to-one relation (its key) or "self". A
    // component may name a property of an entity below the one reached when
    // both share a table.
    Result<std::string> column(const std::string& keyPath);
    // The property a key path ends in (nullptr for "self"), with the alias of its table.
    Result<std::pair<const PropertyDescription*, std::string>> resolve(const std::string& keyPath);
    std::string bind(Value value);
    std::string joins() const;
    // Restricts to the entity and its children when they share a table.
    std::string entityFilter() const;
    const std::vector<Value>& parameters() const { return parameters_; }

private:
    static const PropertyDescription* propertyInTable(const EntityDescription& entity, const std::string& name);

    const EntityDescription& entity_;
    std::map<std::string, std::string> aliasForPath_;
    std::vector<std::string> joins_;
    std::vector<Value> parameters_;
};

std::vector<std::string> splitKeyPath(const std::string& keyPath);

}  // namespace tallowmere::graph
