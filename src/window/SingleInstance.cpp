#include "window/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <unistd.h>

#include "foundation/Logger.h"

namespace tallowmere {
namespace {

const QByteArray answer = "ok\n";

std::string text(const QString& value) { return value.toStdString(); }

}  // namespace

// What one connection has sent so far.
struct SingleInstance::Connection {
    QByteArray pending;
    QStringList arguments;
    int lines = 0;
    bool discardingLine = false;  // the rest of an overlong line
    bool ended = false;
};

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent), directory_(std::move(directory)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultDirectory() {
    auto directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) directory = QDir::tempPath() + QStringLiteral("/tallowmere-%1").arg(getuid());
    QDir().mkpath(directory);
    return directory;
}

QString SingleInstance::serverPath() const { return QDir(directory_).filePath(QLatin1String(socketName)); }

SingleInstance::Claim SingleInstance::claim() {
    lock_ = std::make_unique<QLockFile>(serverPath() + QStringLiteral(".lock"));
    // A lock whose process is gone is stale at once; only a live copy holds it.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        const bool held = lock_->error() == QLockFile::LockFailedError;
        if (!held) Logger::warning([&] { return "cannot take the lock in " + text(directory_); });
        lock_.reset();
        return held ? Claim::anotherRunning : Claim::unavailable;
    }
    // Holding the lock, any socket file there is a killed copy's.
    QLocalServer::removeServer(serverPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(serverPath())) {
        Logger::warning([&] { return "cannot listen on " + text(serverPath()) + ": " + text(server_.errorString()); });
        lock_.reset();
        return Claim::unavailable;
    }
    return Claim::first;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // Lives as long as the socket's handler below.
        auto connection = std::make_shared<Connection>();
        // A peer that never ends its launch is dropped after the time-out.
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] {
            Logger::warning([] { return "a launch that did not end in time was dropped"; });
            socket->abort();
        });
        idle->start(answerTimeout);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket, connection] { read(*socket, *connection); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) read(*socket, *connection);
    }
}

void SingleInstance::read(QLocalSocket& socket, Connection& connection) {
    if (connection.ended) {
        socket.readAll();
        return;
    }
    connection.pending += socket.readAll();
    qsizetype end;
    while (!connection.ended && (end = connection.pending.indexOf('\n')) >= 0) {
        const QByteArray line = connection.pending.left(end);
        connection.pending.remove(0, end + 1);
        if (std::exchange(connection.discardingLine, false)) {
            ++connection.lines;  // the overlong line, dropped already
            continue;
        }
        if (line.isEmpty()) {
            connection.ended = true;
            socket.write(answer);
            socket.flush();
            socket.disconnectFromServer();
            Q_EMIT launched(connection.arguments);
            return;
        }
        takeLine(connection, line);
    }
    if (connection.pending.size() > maximumLineBytes) {
        Logger::warning([] { return "a launch argument over 8 KB was dropped"; });
        connection.pending.clear();
        connection.discardingLine = true;
    }
}

void SingleInstance::takeLine(Connection& connection, const QByteArray& line) {
    if (++connection.lines > maximumLinesPerConnection) {
        if (connection.lines == maximumLinesPerConnection + 1) {
            Logger::warning([] { return "a launch with more than 64 arguments: the rest were dropped"; });
        }
        return;
    }
    if (line.size() > maximumLineBytes) {
        Logger::warning([] { return "a launch argument over 8 KB was dropped"; });
        return;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString argument = decoder.decode(line);
    if (decoder.hasError()) {
        Logger::warning([] { return "a launch argument that is not UTF-8 was dropped"; });
        return;
    }
    connection.arguments.append(argument);
}

bool SingleInstance::handOver(const QString& directory, const QStringList& arguments,
                              std::chrono::milliseconds timeout) {
    const QString path = QDir(directory).filePath(QLatin1String(socketName));
    QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The running copy may still be setting up its socket.
    while (true) {
        socket.connectToServer(path);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    QByteArray message;
    for (const auto& argument : arguments) {
        if (argument.isEmpty() || argument.contains(QLatin1Char('\n'))) continue;
        message += argument.toUtf8() + '\n';
    }
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) return false;
    QByteArray reply;
    while (!reply.endsWith('\n')) {
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
            reply += socket.readAll();
            break;
        }
        reply += socket.readAll();
    }
    return reply == answer;
}

}  // namespace tallowmere
