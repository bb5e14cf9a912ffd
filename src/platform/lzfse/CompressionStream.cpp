#include "platform/lzfse/CompressionStream.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "platform/lzfse/LzfseDecoder.h"
#include "platform/lzfse/LzfseEncoder.h"

namespace tallowmere::lzfse {

struct CompressionStream::State {
    CompressionOperation operation = CompressionOperation::encode;
    std::vector<std::uint8_t> input;   // taken so far, while the output is not known yet
    bool produced = false;
    bool failed = false;
    std::vector<std::uint8_t> output;
    std::size_t handedOut = 0;
};

CompressionStream::CompressionStream() = default;
CompressionStream::~CompressionStream() = default;

CompressionStatus CompressionStream::init(CompressionOperation operation, int algorithm) {
    state_.reset();
    if (algorithm != kCompressionAlgorithmLzfse) return CompressionStatus::error;
    if (operation != CompressionOperation::encode && operation != CompressionOperation::decode) {
        return CompressionStatus::error;
    }
    state_ = std::make_unique<State>();
    state_->operation = operation;
    return CompressionStatus::ok;
}

CompressionStatus CompressionStream::destroy() {
    state_.reset();
    return CompressionStatus::ok;
}

CompressionStatus CompressionStream::process(int flags) {
    if (!state_ || state_->failed) return CompressionStatus::error;
    State& state = *state_;
    if (!state.produced) {
        const CompressionStatus status = produce(state, (flags & kCompressionStreamFinalize) != 0);
        if (status == CompressionStatus::error) state.failed = true;
        if (!state.produced) return status;
    }
    return drain(state);
}

CompressionStatus CompressionStream::produce(State& state, bool finalize) {
    std::span<const std::uint8_t> offered(srcPtr, srcSize);
    srcPtr += srcSize;
    srcSize = 0;
    if (state.operation == CompressionOperation::encode) {
        state.input.insert(state.input.end(), offered.begin(), offered.end());
        if (!finalize) return CompressionStatus::ok;
        state.output = LzfseEncoder::encode(state.input);
        state.input = {};
        state.produced = true;
        return CompressionStatus::ok;
    }

    // Decoding. The decoder only starts once the end-of-stream block is there,
    // so each attempt on an incomplete stream costs a walk over block headers.
    // A stream offered whole is read where it lies, without a copy.
    std::span<const std::uint8_t> stream = offered;
    if (!state.input.empty() || offered.empty()) {
        state.input.insert(state.input.end(), offered.begin(), offered.end());
        if (offered.empty()) return finalize ? CompressionStatus::error : CompressionStatus::ok;
        stream = state.input;
    }
    const DecodeStatus status = LzfseDecoder::decode(stream, state.output, kMaxDecodedBytes);
    if (status == DecodeStatus::truncated) {
        if (state.input.empty()) state.input.assign(offered.begin(), offered.end());
        return finalize ? CompressionStatus::error : CompressionStatus::ok;
    }
    if (status != DecodeStatus::complete) return CompressionStatus::error;
    state.input = {};
    state.produced = true;
    return CompressionStatus::ok;
}

CompressionStatus CompressionStream::drain(State& state) {
    const std::size_t count = std::min(dstSize, state.output.size() - state.handedOut);
    if (count > 0) std::memcpy(dstPtr, state.output.data() + state.handedOut, count);
    dstPtr += count;
    dstSize -= count;
    state.handedOut += count;
    return state.handedOut == state.output.size() ? CompressionStatus::end : CompressionStatus::ok;
}

}  // namespace tallowmere::lzfse
