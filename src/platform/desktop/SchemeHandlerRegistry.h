#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

namespace tallowmere::desktop {

// The desktop's default handlers of URL schemes ("x-scheme-handler/<scheme>"),
// through the freedesktop `xdg-mime` tool. Each call starts the tool and
// returns at once; its answer comes on the main thread, exactly once. A tool
// that does not end within `timeout` is killed and counts as failed; a
// missing tool is reported once per process.
class SchemeHandlerRegistry : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds timeout{5000};

    // The handler's desktop id ("name.desktop"); nothing when there is none
    // or the tool failed.
    using HandlerAnswer = std::function<void(std::optional<QString> desktopId)>;

    explicit SchemeHandlerRegistry(QObject* parent = nullptr);
    // Stops the tools still running; their answers are not given.
    ~SchemeHandlerRegistry() override;

    void defaultHandler(const QString& scheme, HandlerAnswer answer);
    // `done` receives whether the tool reported success.
    void setDefaultHandler(const QString& desktopId, const QString& scheme, std::function<void(bool)> done);

    // Whether a desktop entry with this id is in one of the data folders'
    // "applications" folders; when none is, writes `contents` under
    // $XDG_DATA_HOME/applications. False when it can be neither found nor written.
    static bool ensureDesktopEntry(const QString& desktopId, const QByteArray& contents);

private:
    using Finished = std::function<void(std::optional<QByteArray> output)>;
    void run(const QStringList& arguments, Finished finished);
};

}  // namespace tallowmere::desktop
