#include "platform/cloud/postgres/PostgresConnection.h"

#include <poll.h>

#include <cstdlib>

namespace tallowmere::cloud {
namespace {

constexpr const char* lostState = "08006";

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// libpq keeps the SQLSTATE of a refused connection to itself; the server's
// messages (in English unless its operator chose otherwise) tell the cases
// apart, and anything else counts as a network failure, which is retried.
std::string connectionState(const std::string& message) {
    if (contains(message, "password authentication failed") || contains(message, "authentication failed") ||
        contains(message, "no password supplied") || contains(message, "does not exist") ||
        contains(message, "no pg_hba.conf entry")) {
        return "28000";
    }
    if (contains(message, "too many clients") || contains(message, "remaining connection slots")) return "53300";
    if (contains(message, "starting up") || contains(message, "shutting down") || contains(message, "recovery mode")) {
        return "57P03";
    }
    return lostState;
}

// Waits until the socket is ready for `events`; false on timeout.
bool waitFor(int socket, short events, std::chrono::milliseconds timeout) {
    pollfd descriptor{socket, events, 0};
    for (;;) {
        const int ready = poll(&descriptor, 1, static_cast<int>(timeout.count()));
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
    }
}

}  // namespace

Error postgresError(const std::string& sqlState, const std::string& message) {
    const auto starts = [&](const char* prefix) { return sqlState.rfind(prefix, 0) == 0; };
    if (sqlState == "28P01" || sqlState == "28000") {
        return Error::make(ErrorCode::notAuthenticated, "the server refused the account: " + message);
    }
    if (sqlState == "57P01" || sqlState == "57P03" || sqlState == "57P02") {
        return Error::make(ErrorCode::serviceUnavailable, "the server is not ready: " + message);
    }
    if (sqlState == "53300") {
        auto error = Error::make(ErrorCode::requestRateLimited, "the server has too many connections");
        error.retryAfterSeconds = 1.0;
        return error;
    }
    if (sqlState == "40001" || sqlState == "40P01" || sqlState == "55P03") {
        auto error = Error::make(ErrorCode::zoneBusy, "the records are busy: " + message);
        error.retryAfterSeconds = 1.0;
        return error;
    }
    if (sqlState == "42501") return Error::make(ErrorCode::permissionFailure, "not allowed: " + message);
    if (starts("08") || sqlState.empty()) {
        return Error::make(ErrorCode::networkFailure, "the server cannot be reached: " + message);
    }
    return Error::make(ErrorCode::serviceUnavailable, "the server failed: " + message);
}

std::string PostgresResult::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::int64_t PostgresResult::integer(int row, int column) const {
    return std::strtoll(PQgetvalue(result_.get(), row, column), nullptr, 10);
}

std::string PostgresResult::bytes(int row, int column) const {
    std::size_t length = 0;
    unsigned char* decoded =
        PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result_.get(), row, column)), &length);
    if (!decoded) return {};
    std::string out(reinterpret_cast<const char*>(decoded), length);
    PQfreemem(decoded);
    return out;
}

std::unique_ptr<PostgresConnection> PostgresConnection::open(const std::string& connectionString) {
    const char* keys[] = {"dbname", "fallback_application_name", nullptr};
    const char* values[] = {connectionString.c_str(), "tallowmere", nullptr};
    PGconn* connection = PQconnectStartParams(keys, values, 1);
    if (!connection) throw PostgresFailure(postgresError(lostState, "out of memory"), lostState);
    std::unique_ptr<PostgresConnection> owned(new PostgresConnection(connection));
    const auto deadline = std::chrono::steady_clock::now() + connectTimeout;
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING;;) {
        if (PQstatus(connection) == CONNECTION_BAD) break;
        if (status == PGRES_POLLING_OK) {
            PQsetnonblocking(connection, 0);
            // Notices (and the server's goodbye) are not for standard error.
            PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);
            return owned;
        }
        if (status == PGRES_POLLING_FAILED) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            !waitFor(PQsocket(connection), status == PGRES_POLLING_READING ? POLLIN : POLLOUT, left)) {
            throw PostgresFailure(postgresError(lostState, "the connection timed out"), lostState);
        }
        status = PQconnectPoll(connection);
    }
    const std::string message = PQerrorMessage(connection);
    const std::string state = connectionState(message);
    throw PostgresFailure(postgresError(state, message.substr(0, message.find_last_not_of("\n") + 1)), state);
}

PostgresConnection::~PostgresConnection() { PQfinish(connection_); }

bool PostgresConnection::isUsable() {
    if (broken_ || PQstatus(connection_) != CONNECTION_OK) return false;
    // An idle connection of the pool is sent nothing unless the server ends
    // it ("terminating connection ...", then the socket closes): one that
    // has something to read is not trusted with the next statement.
    if (PQtransactionStatus(connection_) == PQTRANS_IDLE && !PQisBusy(connection_) &&
        waitFor(socket(), POLLIN, std::chrono::milliseconds(0)) && !PQnotifies(connection_)) {
        broken_ = true;
    }
    return !broken_ && PQstatus(connection_) == CONNECTION_OK;
}

void PostgresConnection::fail(const std::string& what, PGresult* result) {
    const char* field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string state = field ? field : "";
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(connection_);
    if (result) PQclear(result);
    if (state.empty()) state = lostState;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw PostgresFailure(postgresError(state, what + ": " + message), state);
}

PostgresResult PostgresConnection::await(const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + statementTimeout;
    PGresult* last = nullptr;
    for (;;) {
        while (PQisBusy(connection_)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !waitFor(socket(), POLLIN, left)) {
                if (last) PQclear(last);
                // A server that stopped answering: this connection is not used again.
                broken_ = true;
                throw PostgresFailure(postgresError(lostState, what + ": the server did not answer"), lostState);
            }
            if (!PQconsumeInput(connection_)) {
                if (last) PQclear(last);
                fail(what);
            }
        }
        PGresult* next = PQgetResult(connection_);
        if (!next) break;
        const auto status = PQresultStatus(next);
        if (status == PGRES_FATAL_ERROR) {
            if (last) PQclear(last);
            // Read the rest, so the connection is ready for the next statement.
            while (PGresult* rest = PQgetResult(connection_)) PQclear(rest);
            fail(what, next);
        }
        if (last) PQclear(last);
        last = next;
    }
    if (!last) fail(what);
    return PostgresResult(last);
}

PostgresResult PostgresConnection::execute(const std::string& sql, const std::vector<PostgresParameter>& parameters) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const auto& parameter : parameters) {
        values.push_back(parameter.value ? parameter.value->data() : nullptr);
        lengths.push_back(parameter.value ? static_cast<int>(parameter.value->size()) : 0);
        formats.push_back(parameter.binary ? 1 : 0);
    }
    if (!PQsendQueryParams(connection_, sql.c_str(), static_cast<int>(parameters.size()), nullptr, values.data(),
                           lengths.data(), formats.data(), 0)) {
        fail("cannot send a statement");
    }
    return await("a statement failed");
}

void PostgresConnection::executeScript(const std::string& sql) {
    if (!PQsendQuery(connection_, sql.c_str())) fail("cannot send the script");
    await("the script failed");
}

bool PostgresConnection::isReadable(const std::string& connectionString) {
    return !readProblem(connectionString).has_value();
}

std::optional<std::string> PostgresConnection::readProblem(const std::string& connectionString) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connectionString.c_str(), &error);
    std::optional<std::string> problem;
    if (!options) {
        problem = error ? std::string(error) : std::string("out of memory");
        while (!problem->empty() && (problem->back() == '\n' || problem->back() == ' ')) problem->pop_back();
    }
    if (error) PQfreemem(error);
    if (options) PQconninfoFree(options);
    return problem;
}

std::string PostgresConnection::masked(const std::string& connectionString) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connectionString.c_str(), &error);
    if (error) PQfreemem(error);
    if (!options) return "(an unreadable connection string)";
    std::string out;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (!option->val || !*option->val) continue;
        const std::string keyword = option->keyword;
        const bool secret = keyword == "password" || keyword == "sslpassword" || keyword == "sslkey";
        if (!out.empty()) out += ' ';
        out += keyword + "=" + (secret ? std::string("********") : std::string(option->val));
    }
    PQconninfoFree(options);
    return out;
}

}  // namespace tallowmere::cloud
