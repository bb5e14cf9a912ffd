#include <gtest/gtest.h>

#include <QFile>
#include <QLocalSocket>
#include <QStringList>
#include <future>
#include <vector>

#include "support/TempDir.h"
#include "support/ui/UiWait.h"
#include "window/SingleInstance.h"

using namespace tallowmere;

namespace {

// The later launch's side runs on a thread of its own: it blocks until the
// running copy, served by this thread's event loop, answers.
std::future<bool> handOverLater(const QString& directory, const QStringList& arguments) {
    return std::async(std::launch::async, [directory, arguments] { return SingleInstance::handOver(directory, arguments); });
}

template <typename T>
bool finished(std::future<T>& answer, int timeoutMs = 5000) {
    return test::waitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                           timeoutMs);
}

// Sends raw bytes as a misbehaving peer would; returns the answer.
std::future<QByteArray> sendRaw(const QString& path, QByteArray bytes) {
    return std::async(std::launch::async, [path, bytes] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(5000)) return QByteArray("no connection");
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        QByteArray answer;
        while (socket.waitForReadyRead(5000)) answer += socket.readAll();
        return answer + socket.readAll();
    });
}

}  // namespace

TEST(SingleInstance, ALaterLaunchHandsItsArgumentsToTheRunningCopy) {
    test::TempDir folder;
    const auto directory = QString::fromStdString(folder.path().string());
    SingleInstance running(directory);
    ASSERT_EQ(running.claim(), SingleInstance::Claim::first);
    std::vector<QStringList> launches;
    QObject::connect(&running, &SingleInstance::launched, [&](const QStringList& arguments) { launches.push_back(arguments); });

    SingleInstance second(directory);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::anotherRunning);

    auto withLink = handOverLater(directory, {QStringLiteral("feed://127.0.0.1/ä.xml"), QStringLiteral("-x")});
    ASSERT_TRUE(finished(withLink));
    EXPECT_TRUE(withLink.get());
    auto plain = handOverLater(directory, {});
    ASSERT_TRUE(finished(plain));
    EXPECT_TRUE(plain.get());

    ASSERT_TRUE(test::waitUntil([&] { return launches.size() == 2; }));
    EXPECT_EQ(launches[0], (QStringList{QStringLiteral("feed://127.0.0.1/ä.xml"), QStringLiteral("-x")}));
    EXPECT_TRUE(launches[1].isEmpty());
    EXPECT_TRUE(QFile::permissions(running.serverPath()) & QFile::ReadOwner);
    EXPECT_FALSE(QFile::permissions(running.serverPath()) & (QFile::ReadOther | QFile::WriteOther));
}

TEST(SingleInstance, NoRunningCopyMeansNoHandOver) {
    test::TempDir folder;
    EXPECT_FALSE(SingleInstance::handOver(QString::fromStdString(folder.path().string()), {}, std::chrono::milliseconds(300)));
    SingleInstance nowhere(QString::fromStdString((folder.path() / "missing").string()));
    EXPECT_EQ(nowhere.claim(), SingleInstance::Claim::unavailable);
}

TEST(SingleInstance, ASocketLeftBehindIsTakenOver) {
    test::TempDir folder;
    const auto directory = QString::fromStdString(folder.path().string());
    SingleInstance running(directory);
    QFile left(running.serverPath());
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    left.close();
    ASSERT_EQ(running.claim(), SingleInstance::Claim::first);
    auto answer = handOverLater(directory, {});
    ASSERT_TRUE(finished(answer));
    EXPECT_TRUE(answer.get());
}

TEST(SingleInstance, BadLinesAreDroppedAndTheRestKept) {
    test::TempDir folder;
    const auto directory = QString::fromStdString(folder.path().string());
    SingleInstance running(directory);
    ASSERT_EQ(running.claim(), SingleInstance::Claim::first);
    std::vector<QStringList> launches;
    QObject::connect(&running, &SingleInstance::launched, [&](const QStringList& arguments) { launches.push_back(arguments); });

    QByteArray bytes = "feed://before\n";
    bytes += QByteArray(SingleInstance::maximumLineBytes + 1, 'a') + '\n';  // over 8 KB
    bytes += "feed://\xff\xfe\n";                                           // not UTF-8
    bytes += "feed://after\n";
    for (int line = 0; line < SingleInstance::maximumLinesPerConnection; ++line) bytes += "feed://more\n";
    bytes += '\n';
    auto answer = sendRaw(running.serverPath(), bytes);
    ASSERT_TRUE(test::waitUntil([&] { return launches.size() == 1; }));
    ASSERT_TRUE(finished(answer));
    EXPECT_EQ(answer.get(), QByteArray("ok\n"));

    const auto& arguments = launches[0];
    ASSERT_EQ(arguments.size(), SingleInstance::maximumLinesPerConnection - 2);
    EXPECT_EQ(arguments[0], QStringLiteral("feed://before"));
    EXPECT_EQ(arguments[1], QStringLiteral("feed://after"));
}

TEST(SingleInstance, ALaunchThatNeverEndsIsCut) {
    test::TempDir folder;
    const auto directory = QString::fromStdString(folder.path().string());
    SingleInstance running(directory);
    ASSERT_EQ(running.claim(), SingleInstance::Claim::first);
    bool launched = false;
    QObject::connect(&running, &SingleInstance::launched, [&] { launched = true; });
    // An endless line without an end: never buffered beyond the limit.
    auto answer = sendRaw(running.serverPath(), QByteArray(64 * 1024, 'b'));
    ASSERT_TRUE(finished(answer, SingleInstance::answerTimeout.count() + 3000));
    EXPECT_EQ(answer.get(), QByteArray());
    EXPECT_FALSE(launched);
}
