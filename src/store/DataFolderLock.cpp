#include "store/DataFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tallowmere {
namespace {

std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The holder writes its process ID into the file; for the message only.
std::string holderOf(int descriptor) {
    char text[32] = {};
    const ssize_t count = ::pread(descriptor, text, sizeof text - 1, 0);
    if (count <= 0) return {};
    std::string holder(text, static_cast<std::size_t>(count));
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    return holder;
}

}  // namespace

DataFolderLock::Outcome DataFolderLock::acquire(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return DataFolderLockFailure{false, "cannot create " + folder.string() + ": " + error.message()};
    const std::filesystem::path file = folder / fileName;
    // Close-on-exec: a child process must not inherit (and so keep) the lock.
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) return DataFolderLockFailure{false, systemError("cannot open " + file.string(), errno)};
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (reason == EWOULDBLOCK) {
            const std::string holder = holderOf(descriptor);
            ::close(descriptor);
            return DataFolderLockFailure{true, "another copy of the program" +
                                                   (holder.empty() ? std::string() : " (process " + holder + ")") +
                                                   " is using " + folder.string()};
        }
        ::close(descriptor);
        return DataFolderLockFailure{false, systemError("cannot lock " + file.string(), reason)};
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(descriptor, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(descriptor, pid.data(), pid.size(), 0);
    }
    return std::unique_ptr<DataFolderLock>(new DataFolderLock(folder, descriptor));
}

DataFolderLock::~DataFolderLock() { ::close(descriptor_); }  // closing releases the lock

}  // namespace tallowmere
