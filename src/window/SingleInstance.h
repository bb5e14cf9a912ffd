#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <chrono>
#include <memory>

class QLocalSocket;

namespace tallowmere {

// Keeps one running copy of the program per user. The first copy holds a lock
// file and listens on a local socket beside it, reachable by the user only; a
// later launch hands its arguments over that socket and waits for the
// running copy's acknowledgement. A socket left behind by a copy that was
// killed is taken over by the next one that gets the lock.
//
// Protocol: each argument is one line of UTF-8 text ended by "\n"; an empty
// line ends the launch, and the running copy answers "ok\n". Lines over
// maximumLineBytes, lines past maximumLinesPerConnection and lines that are
// not UTF-8 are dropped with a warning.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maximumLineBytes = 8 * 1024;
    static constexpr int maximumLinesPerConnection = 64;
    static constexpr std::chrono::milliseconds answerTimeout{5000};
    static constexpr const char* socketName = "tallowmere.socket";

    // `directory` holds the lock file and the socket; it must exist.
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The user's runtime folder ($XDG_RUNTIME_DIR, else a private folder
    // under the temporary folder).
    static QString defaultDirectory();

    enum class Claim {
        first,           // this process is the running copy and listens
        anotherRunning,  // another copy holds the lock: hand over to it
        unavailable,     // no lock or socket could be set up here (logged)
    };
    Claim claim();
    bool isListening() const { return server_.isListening(); }
    QString serverPath() const;

    // Hands the arguments to the running copy and waits up to `timeout` for
    // its acknowledgement; true once it was received.
    static bool handOver(const QString& directory, const QStringList& arguments,
                         std::chrono::milliseconds timeout = answerTimeout);

Q_SIGNALS:
    // Another launch's arguments, in order (none: a launch without arguments).
    void launched(const QStringList& arguments);

private:
    struct Connection;
    void accept();
    void read(QLocalSocket& socket, Connection& connection);
    void takeLine(Connection& connection, const QByteArray& line);

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

}  // namespace tallowmere
