#include "platform/cloud/EmbeddedWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/cloud/Log.h"

namespace tallowmere::cloud {
namespace {

constexpr int pollMilliseconds = 500;

}  // namespace

EmbeddedWatcher::EmbeddedWatcher(std::shared_ptr<EmbeddedEngine> engine, Deliver deliver)
    : engine_(std::move(engine)), deliver_(std::move(deliver)) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    inotifyFd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    auto folder = engine_->file().parent_path();
    if (folder.empty()) folder = ".";
    if (inotifyFd_ >= 0 &&
        inotify_add_watch(inotifyFd_, folder.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO) < 0) {
        close(inotifyFd_);
        inotifyFd_ = -1;
    }
    if (inotifyFd_ < 0) Log::error("cannot watch " + folder.string() + "; looking for changes every 500 ms");
    thread_ = std::thread([this] { run(); });
}

EmbeddedWatcher::~EmbeddedWatcher() {
    const std::uint64_t one = 1;
    if (write(stopFd_, &one, sizeof one) < 0) {
        // The thread still ends at its next poll: the eventfd is only a shortcut.
    }
    thread_.join();
    if (inotifyFd_ >= 0) close(inotifyFd_);
    if (stopFd_ >= 0) close(stopFd_);
}

void EmbeddedWatcher::run() {
    const std::string fileName = engine_->file().filename().string();
    while (true) {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
        const int ready = poll(fds, inotifyFd_ >= 0 ? 2 : 1, pollMilliseconds);
        if (ready > 0 && (fds[0].revents & POLLIN)) return;
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buffer[4096];
            bool ours = false;
            ssize_t length;
            while ((length = read(inotifyFd_, buffer, sizeof buffer)) > 0) {
                for (ssize_t at = 0; at < length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (event->len && std::string(event->name).rfind(fileName, 0) == 0) ours = true;
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
            if (!ours) continue;
        }
        auto changes = engine_->readChanges();
        if (!changes.pushes.empty() || !changes.keyValues.empty()) deliver_(std::move(changes));
    }
}

}  // namespace tallowmere::cloud
