#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/graph/GraphError.h"
#include "platform/graph/Value.h"

namespace tallowmere::graph {

class Object;
class SqlQuery;

enum class Comparison { equal, notEqual, less, lessOrEqual, greater, greaterOrEqual, beginsWith };

// A filter as a small expression tree. Every predicate has two forms that
// agree: SQL over stored rows and an in-memory test of pending objects.
// Key paths name attributes or to-one relations of the fetched entity and may
// go through to-one relations ("feed.url"); "self" is the object itself.
class Predicate {
public:
    struct Node;

    static Predicate truePredicate();
    static Predicate compare(std::string keyPath, Comparison op, Value value);
    // Case- and diacritic-insensitive comparison of text ("==[cd]", "BEGINSWITH[cd]").
    static Predicate compareFolded(std::string keyPath, Comparison op, std::string text);
    static Predicate equal(std::string keyPath, Value value) { return compare(std::move(keyPath), Comparison::equal, std::move(value)); }
    static Predicate notEqual(std::string keyPath, Value value) { return compare(std::move(keyPath), Comparison::notEqual, std::move(value)); }
    static Predicate isNil(std::string keyPath) { return equal(std::move(keyPath), Value{}); }
    static Predicate notNil(std::string keyPath) { return notEqual(std::move(keyPath), Value{}); }
    static Predicate equalsFolded(std::string keyPath, std::string text) { return compareFolded(std::move(keyPath), Comparison::equal, std::move(text)); }
    static Predicate beginsWithFolded(std::string keyPath, std::string text) { return compareFolded(std::move(keyPath), Comparison::beginsWith, std::move(text)); }
    // keyPath IN values (integers, strings, ObjectIDs ...); bound as one parameter.
    static Predicate in(std::string keyPath, std::vector<Value> values);
    // The size of a to-many relation compared with a number ("feeds.@count == 0").
    static Predicate count(std::string toManyKey, Comparison op, std::int64_t number);
    static Predicate allOf(std::vector<Predicate> parts);
    static Predicate anyOf(std::vector<Predicate> parts);
    // The same test as anyOf; a fetch looks each part up on its own and joins
    // the rows in order, so that each part can use the index that suits it.
    static Predicate anyOfSeparately(std::vector<Predicate> parts);
    static Predicate negation(Predicate part);

    Predicate operator&&(const Predicate& other) const { return allOf({*this, other}); }
    Predicate operator||(const Predicate& other) const { return anyOf({*this, other}); }
    Predicate operator!() const { return negation(*this); }

    bool evaluate(Object& object) const;
    // Appends the SQL form to `query`'s joins and parameters; returns the expression.
    Result<std::string> toSql(SqlQuery& query) const;
    bool isConstantTrue() const;
    // For a predicate with an anyOfSeparately part, at its top or among the
    // parts of its top allOf: one predicate per alternative, each excluding
    // the rows of those before it. Otherwise the predicate itself.
    std::vector<Predicate> separateAlternatives() const;
    // Key paths the predicate reads through a relation (to tell which entities it depends on).
    void collectRelationHops(std::vector<std::string>& keyPaths) const;

private:
    explicit Predicate(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
    std::shared_ptr<const Node> node_;
};

}  // namespace tallowmere::graph
