#include "platform/desktop/SchemeHandlerRegistry.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>
#include <memory>

#include "foundation/Logger.h"

namespace tallowmere::desktop {
namespace {

QString mimeType(const QString& scheme) { return QStringLiteral("x-scheme-handler/") + scheme; }

void warnMissingOnce() {
    static std::atomic<bool> warned{false};
    if (warned.exchange(true)) return;
    Logger::warning([] { return std::string("xdg-mime is not installed: the default feed reader cannot be read or set"); });
}

// $XDG_DATA_HOME, else ~/.local/share; then $XDG_DATA_DIRS, else the two system folders.
QStringList dataFolders() {
    QStringList folders;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    folders << (home.startsWith(QLatin1Char('/')) ? home : QDir::homePath() + QStringLiteral("/.local/share"));
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const auto& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (dir.startsWith(QLatin1Char('/'))) folders << dir;
    }
    return folders;
}

}  // namespace

SchemeHandlerRegistry::SchemeHandlerRegistry(QObject* parent) : QObject(parent) {}

SchemeHandlerRegistry::~SchemeHandlerRegistry() {
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        if (process->state() == QProcess::NotRunning) continue;
        process->kill();
        process->waitForFinished(1000);
    }
}

void SchemeHandlerRegistry::defaultHandler(const QString& scheme, HandlerAnswer answer) {
    run({QStringLiteral("query"), QStringLiteral("default"), mimeType(scheme)},
        [answer = std::move(answer)](std::optional<QByteArray> output) {
            const QString id = output ? QString::fromUtf8(output->trimmed()) : QString();
            answer(id.isEmpty() ? std::nullopt : std::optional<QString>(id));
        });
}

void SchemeHandlerRegistry::setDefaultHandler(const QString& desktopId, const QString& scheme,
                                              std::function<void(bool)> done) {
    run({QStringLiteral("default"), desktopId, mimeType(scheme)},
        [done = std::move(done)](std::optional<QByteArray> output) { done(output.has_value()); });
}

void SchemeHandlerRegistry::run(const QStringList& arguments, Finished finished) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    auto once = std::make_shared<Finished>(std::move(finished));
    const auto finish = [once](std::optional<QByteArray> output) {
        if (!*once) return;
        auto callback = std::move(*once);
        *once = nullptr;
        callback(std::move(output));
    };
    if (tool.isEmpty()) {
        warnMissingOnce();
        // Answered on a later turn, as a started tool would be.
        QTimer::singleShot(0, this, [finish] { finish(std::nullopt); });
        return;
    }
    auto* process = new QProcess(this);
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    limit->setTimerType(Qt::PreciseTimer);
    connect(limit, &QTimer::timeout, process, [process, arguments] {
        Logger::warning([&] { return "xdg-mime " + arguments.join(QLatin1Char(' ')).toStdString() + " did not end in time and was stopped"; });
        process->kill();
    });
    connect(process, &QProcess::finished, this, [process, finish](int exitCode, QProcess::ExitStatus status) {
        const bool ok = status == QProcess::NormalExit && exitCode == 0;
        finish(ok ? std::optional<QByteArray>(process->readAllStandardOutput()) : std::nullopt);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [process, finish](QProcess::ProcessError error) {
        // A crash or a kill also ends with finished(); a start that failed does not.
        if (error != QProcess::FailedToStart) return;
        warnMissingOnce();
        finish(std::nullopt);
        process->deleteLater();
    });
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(tool, arguments);
    limit->start(timeout);
}

bool SchemeHandlerRegistry::ensureDesktopEntry(const QString& desktopId, const QByteArray& contents) {
    const QStringList folders = dataFolders();
    for (const auto& folder : folders) {
        if (QFile::exists(folder + QStringLiteral("/applications/") + desktopId)) return true;
    }
    const QString applications = folders.front() + QStringLiteral("/applications");
    if (!QDir().mkpath(applications)) return false;
    QSaveFile file(applications + QLatin1Char('/') + desktopId);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(contents);
    return file.commit();
}

}  // namespace tallowmere::desktop
