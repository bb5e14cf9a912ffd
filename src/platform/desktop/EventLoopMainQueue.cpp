#include "platform/desktop/EventLoopMainQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <cmath>

#include "platform/dispatch/MainQueue.h"

namespace tallowmere::desktop {

namespace {

// One drain in flight at a time: posts that arrive before it runs share it.
std::atomic<bool> drainScheduled{false};
QPointer<QTimer> dueTimer;
// A long run of blocks (the merges of a refresh, say) is taken in slices, so
// that painting, input and timers get their turn between two slices.
constexpr auto drainSlice = std::chrono::milliseconds(16);

void scheduleDrain();

void drainAndArm() {
    drainScheduled.store(false);
    auto& queue = dispatch::MainQueue::shared();
    if (queue.drain(drainSlice)) {
        scheduleDrain();
        return;
    }
    const auto next = queue.timeUntilNextDelayed();
    if (!next || !dueTimer) return;
    // Rounded up: the timer must not fire before the block is due.
    const auto millis = std::chrono::ceil<std::chrono::milliseconds>(*next).count();
    dueTimer->start(static_cast<int>(std::max<long long>(millis, 0)));
}

void scheduleDrain() {
    if (drainScheduled.exchange(true)) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        drainScheduled.store(false);
        return;
    }
    QMetaObject::invokeMethod(app, &drainAndArm, Qt::QueuedConnection);
}

}  // namespace

void EventLoopMainQueue::install() {
    auto& queue = dispatch::MainQueue::shared();
    queue.adoptCurrentThread();
    if (!dueTimer) {
        dueTimer = new QTimer(QCoreApplication::instance());
        dueTimer->setSingleShot(true);
        dueTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(dueTimer, &QTimer::timeout, [] { drainAndArm(); });
    }
    queue.setWaker(&scheduleDrain);
    scheduleDrain();  // blocks posted before the binding
}

}  // namespace tallowmere::desktop
