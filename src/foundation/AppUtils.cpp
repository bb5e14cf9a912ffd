#include "foundation/AppUtils.h"

#include <memory>
#include <mutex>

#include "platform/lzfse/CompressionStream.h"

#ifndef TALLOWMERE_APP_NAME
#define TALLOWMERE_APP_NAME ""
#endif

namespace tallowmere {

namespace {

constexpr std::size_t kBufferSize = 4096;

struct AppNameStore {
    std::mutex mutex;
    std::string name = TALLOWMERE_APP_NAME;
};

AppNameStore& appNameStore() {
    static AppNameStore store;
    return store;
}

}  // namespace

std::string AppUtils::appName() {
    AppNameStore& store = appNameStore();
    std::lock_guard lock(store.mutex);
    return store.name;
}

void AppUtils::setAppName(std::string name) {
    AppNameStore& store = appNameStore();
    std::lock_guard lock(store.mutex);
    store.name = std::move(name);
}

std::optional<std::vector<std::uint8_t>> AppUtils::compress(std::span<const std::uint8_t> data, bool decode) {
    using lzfse::CompressionStatus;
    if (data.empty()) return std::nullopt;
    lzfse::CompressionStream stream;
    const auto operation = decode ? lzfse::CompressionOperation::decode : lzfse::CompressionOperation::encode;
    if (stream.init(operation, lzfse::kCompressionAlgorithmLzfse) != CompressionStatus::ok) return std::nullopt;
    const int flags = decode ? 0 : lzfse::kCompressionStreamFinalize;

    auto buffer = std::make_unique<std::uint8_t[]>(kBufferSize);
    stream.srcPtr = data.data();
    stream.srcSize = data.size();
    stream.dstPtr = buffer.get();
    stream.dstSize = kBufferSize;
    std::vector<std::uint8_t> output;
    for (;;) {
        const std::size_t srcBefore = stream.srcSize;
        const std::size_t dstBefore = stream.dstSize;
        const CompressionStatus status = stream.process(flags);
        if (status == CompressionStatus::error) break;
        if (status == CompressionStatus::end) {
            output.insert(output.end(), buffer.get(), stream.dstPtr);
            stream.destroy();
            return output;
        }
        if (stream.dstSize == 0) {
            output.insert(output.end(), buffer.get(), buffer.get() + kBufferSize);
            stream.dstPtr = buffer.get();
            stream.dstSize = kBufferSize;
        } else if (stream.srcSize == srcBefore && stream.dstSize == dstBefore) {
            // A stream cut short: no more input is coming, and no step moves.
            break;
        }
    }
    stream.destroy();
    return std::nullopt;
}

}  // namespace tallowmere
