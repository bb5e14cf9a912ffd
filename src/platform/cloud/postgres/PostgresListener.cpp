#include "platform/cloud/postgres/PostgresListener.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace tallowmere::cloud {
namespace {

constexpr std::chrono::milliseconds firstPause{100};
constexpr std::chrono::milliseconds longestPause{3000};

bool isChannelName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

}  // namespace

PostgresListener::PostgresListener(std::shared_ptr<PostgresEngine> engine, Deliver deliver)
    : engine_(std::move(engine)), deliver_(std::move(deliver)), stopFd_(eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
}

PostgresListener::~PostgresListener() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(stopFd_, &one, sizeof one);
    thread_.join();
    close(stopFd_);
}

bool PostgresListener::pause(std::chrono::milliseconds duration) {
    pollfd stop{stopFd_, POLLIN, 0};
    return poll(&stop, 1, static_cast<int>(duration.count())) == 0;
}

void PostgresListener::run() {
    PostgresEngine::ChangeCursors cursors;
    bool cursorsKnown = false;
    if (const auto& initial = engine_->initialCursors()) {
        cursors = *initial;
        cursorsKnown = true;
    }
    auto wait = firstPause;
    for (;;) {
        const auto started = std::chrono::steady_clock::now();
        try {
            listen(cursors, cursorsKnown);
            return;  // asked to stop
        } catch (const PostgresFailure&) {
        }
        // A connection that lived a while starts the pauses over.
        if (std::chrono::steady_clock::now() - started > longestPause) wait = firstPause;
        if (!pause(wait)) return;
        wait = std::min(wait * 2, longestPause);
    }
}

void PostgresListener::listen(PostgresEngine::ChangeCursors& cursors, bool& cursorsKnown) {
    auto connection = PostgresConnection::open(engine_->connectionString());
    const std::string channel = connection->execute("SELECT tallowmere.channel(current_user)").text(0, 0);
    if (!isChannelName(channel)) throw PostgresFailure(Error::make(ErrorCode::serviceUnavailable, "bad channel"), "");
    connection->execute("LISTEN " + channel);
    if (!cursorsKnown) {
        cursors = PostgresEngine::currentCursors(*connection);
        cursorsKnown = true;
    }
    // What came while this device was not listening.
    deliver_(engine_->readChanges(*connection, cursors));
    for (;;) {
        // Notifications that came while the changes were read wait in
        // libpq already; the socket would not tell of them again.
        bool notified = false;
        while (PGnotify* notification = PQnotifies(connection->raw())) {
            notified = true;
            PQfreemem(notification);
        }
        if (notified) {
            deliver_(engine_->readChanges(*connection, cursors));
            continue;
        }
        pollfd descriptors[] = {{stopFd_, POLLIN, 0}, {connection->socket(), POLLIN, 0}};
        if (poll(descriptors, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw PostgresFailure(Error::make(ErrorCode::networkFailure, "poll failed"), "08006");
        }
        if (descriptors[0].revents) return;
        if (!PQconsumeInput(connection->raw())) {
            throw PostgresFailure(Error::make(ErrorCode::networkFailure, "the listening connection was lost"), "08006");
        }
    }
}

}  // namespace tallowmere::cloud
