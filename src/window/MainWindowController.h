#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <optional>
#include <string>
#include <string_view>

namespace tallowmere {

class MainContent;
class MainViewController;
class MainWindow;

// Builds the main window with its whole controller tree and keeps the
// window's frame in the persistent state: restored when the window is made
// (centred when no usable frame was saved, or when it lies left of or above
// the screen's origin) and saved whenever the window moves or changes size.
class MainWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr const char* frameAutosaveName = "MainWindowFrame";

    // The window's content as MainViewController takes it.
    explicit MainWindowController(MainContent* content = nullptr, QObject* parent = nullptr);
    ~MainWindowController() override;

    MainWindow* window() const { return window_; }
    MainViewController& contentViewController() const { return *contentViewController_; }

    // Shows the window and brings it forward.
    void showWindow();
    // Writes the window's frame now (the settings file is written later).
    void saveFrame();

    // "x y width height" in whole pixels; the position is the frame's, the
    // size the content's.
    static std::string frameText(const QRect& frame);
    // Nothing for text that is no such frame, or one of an empty size.
    static std::optional<QRect> parseFrame(std::string_view text);

private:
    void restoreFrame();
    void centre();

    QPointer<MainWindow> window_;
    MainViewController* contentViewController_ = nullptr;
    QTimer frameSaveTimer_;
};

}  // namespace tallowmere
