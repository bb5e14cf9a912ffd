#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graph/GraphError.h"
#include "platform/graph/ModelDescription.h"
#include "platform/graph/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tallowmere::graph {

// A prepared statement, reset and cleared of bindings on each use.
class Statement {
public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const Value& value);
    Statement& bindAll(const std::vector<Value>& values);
    // True while a row is available; errors end the iteration and are kept.
    bool step();
    bool failed() const { return failed_; }
    void reset();
    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string text(int column) const;
    // A column read back as the attribute type (or a key for relations). A
    // text compressed against another one needs that text as `dictionary`.
    Value value(int column, AttributeType type, const Value* dictionary = nullptr) const;
    // A column read back as SQLite holds it.
    Value rawValue(int column) const;

private:
    // A text column's value: the text, or the text back from its compressed form.
    Value storedText(int column, const Value* dictionary) const;

    sqlite3_stmt* statement_;
    bool failed_ = false;
};

// One SQLite connection with a cache of prepared statements. Not thread-safe:
// the store serialises its users.
class Database {
public:
    ~Database();
    static Result<std::unique_ptr<Database>> open(const std::string& path);

    Result<void> exec(const std::string& sql);
    // How long a statement waits for another connection's lock before it
    // fails as busy (5 s from open).
    void setBusyTimeout(std::chrono::milliseconds timeout);
    // BEGIN IMMEDIATE, waiting (up to the busy timeout) for other connections' writes.
    Result<void> beginWrite();
    // A cached statement, reset and ready to bind; nullptr when SQL is invalid.
    Statement* prepare(const std::string& sql);
    std::string lastError() const;
    int changes() const;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

}  // namespace tallowmere::graph
