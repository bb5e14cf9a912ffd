#include "window/MainWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <charconv>
#include <sstream>
#include <vector>

#include "foundation/Logger.h"
#include "platform/desktop/Application.h"
#include "store/PersistentState.h"
#include "window/MainViewController.h"
#include "window/MainWindow.h"

namespace tallowmere {
namespace {

// Moves and resizes come in bursts while the user drags; one write per burst.
constexpr auto frameSaveDelay = std::chrono::milliseconds(300);

}  // namespace

MainWindowController::MainWindowController(MainContent* content, QObject* parent)
    : QObject(parent), window_(new MainWindow) {
    contentViewController_ = new MainViewController(content, this);
    window_->setCentralWidget(contentViewController_->view());
    window_->resize(MainViewController::defaultSize);
    restoreFrame();
    desktop::Application::shared().setMainWindow(window_);

    frameSaveTimer_.setSingleShot(true);
    frameSaveTimer_.setInterval(frameSaveDelay);
    connect(&frameSaveTimer_, &QTimer::timeout, this, &MainWindowController::saveFrame);
    connect(window_, &MainWindow::frameChanged, this, [this] {
        if (window_->isVisible()) frameSaveTimer_.start();
    });
}

MainWindowController::~MainWindowController() { delete window_; }

void MainWindowController::showWindow() { desktop::Application::activate(window_); }

void MainWindowController::restoreFrame() {
    auto& defaults = PersistentState::shared()->defaults();
    const auto saved = defaults.string(frameAutosaveName);
    const auto frame = saved ? parseFrame(*saved) : std::nullopt;
    if (saved && !frame) Logger::warning([&] { return "the saved window frame is unusable: \"" + *saved + "\""; });
    if (!frame) {
        centre();
        return;
    }
    window_->resize(frame->size());
    window_->move(frame->topLeft());
    if (frame->x() < 0 || frame->y() < 0) centre();
}

void MainWindowController::centre() {
    const QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(window_->pos(), window_->size());
    frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
}

void MainWindowController::saveFrame() {
    frameSaveTimer_.stop();
    if (!window_ || window_->isMinimized() || window_->isMaximized() || window_->isFullScreen()) return;
    PersistentState::shared()->defaults().set(frameAutosaveName, frameText(QRect(window_->pos(), window_->size())));
}

std::string MainWindowController::frameText(const QRect& frame) {
    std::ostringstream text;
    text << frame.x() << ' ' << frame.y() << ' ' << frame.width() << ' ' << frame.height();
    return text.str();
}

std::optional<QRect> MainWindowController::parseFrame(std::string_view text) {
    std::vector<int> numbers;
    const char* position = text.data();
    const char* end = text.data() + text.size();
    while (position < end) {
        if (*position == ' ') {
            ++position;
            continue;
        }
        int number = 0;
        auto [next, error] = std::from_chars(position, end, number);
        if (error != std::errc() || (next < end && *next != ' ')) return std::nullopt;
        numbers.push_back(number);
        position = next;
    }
    if (numbers.size() != 4 || numbers[2] <= 0 || numbers[3] <= 0) return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

}  // namespace tallowmere
