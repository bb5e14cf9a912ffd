#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cloud/Error.h"

namespace tallowmere::cloud {

// A failed libpq call inside the PostgreSQL backing, already mapped to the
// layer's error. It never leaves the backing.
class PostgresFailure : public std::runtime_error {
public:
    PostgresFailure(Error error, std::string sqlState)
        : std::runtime_error(error.description), error_(std::move(error)), sqlState_(std::move(sqlState)) {}
    const Error& error() const { return error_; }
    const std::string& sqlState() const { return sqlState_; }

private:
    Error error_;
    std::string sqlState_;
};

// One parameter of a statement: text, bytes sent as binary, or NULL.
struct PostgresParameter {
    std::optional<std::string> value;
    bool binary = false;

    PostgresParameter() = default;
    PostgresParameter(std::string text) : value(std::move(text)) {}
    PostgresParameter(const char* text) : value(std::string(text)) {}
    static PostgresParameter bytes(std::string data) {
        PostgresParameter parameter(std::move(data));
        parameter.binary = true;
        return parameter;
    }
};

// The rows of one statement.
class PostgresResult {
public:
    explicit PostgresResult(PGresult* result) : result_(result, &PQclear) {}
    int rows() const { return PQntuples(result_.get()); }
    bool isNull(int row, int column) const { return PQgetisnull(result_.get(), row, column); }
    std::string text(int row, int column) const;
    std::int64_t integer(int row, int column) const;
    std::string bytes(int row, int column) const;

private:
    std::unique_ptr<PGresult, void (*)(PGresult*)> result_;
};

// One connection to the server. Statements are sent with the asynchronous
// calls and their answers awaited with poll() on the connection's socket,
// so a server that stops answering ends the wait instead of hanging it.
class PostgresConnection {
public:
    static constexpr std::chrono::seconds connectTimeout{10};
    static constexpr std::chrono::seconds statementTimeout{60};

    // Throws PostgresFailure (network failure, not authenticated ...).
    static std::unique_ptr<PostgresConnection> open(const std::string& connectionString);
    ~PostgresConnection();
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    PostgresResult execute(const std::string& sql, const std::vector<PostgresParameter>& parameters = {});
    // Runs a statement that has no parameters and may hold several commands.
    void executeScript(const std::string& sql);
    // False once the connection is lost; it is not used again.
    bool isUsable();
    int socket() const { return PQsocket(connection_); }
    PGconn* raw() { return connection_; }

    // The connection string with its password replaced by stars, for logs;
    // nothing of it when libpq cannot read it.
    static std::string masked(const std::string& connectionString);
    // Whether libpq can read the connection string.
    static bool isReadable(const std::string& connectionString);
    // Why libpq cannot read the connection string, in its own words; nothing
    // when it can.
    static std::optional<std::string> readProblem(const std::string& connectionString);

private:
    explicit PostgresConnection(PGconn* connection) : connection_(connection) {}
    PostgresResult await(const std::string& what);
    [[noreturn]] void fail(const std::string& what, PGresult* result = nullptr);

    PGconn* connection_;
    bool broken_ = false;
};

// What an SQLSTATE (or, before a session exists, the server's message)
// means to the layer's callers.
Error postgresError(const std::string& sqlState, const std::string& message);

}  // namespace tallowmere::cloud
