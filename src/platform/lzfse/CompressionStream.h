#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tallowmere::lzfse {

enum class CompressionOperation { encode = 0, decode = 1 };

enum class CompressionStatus { ok = 0, end = 1, error = -1 };

// The one algorithm offered.
inline constexpr int kCompressionAlgorithmLzfse = 0x801;
// Flag to process(): no more input follows.
inline constexpr int kCompressionStreamFinalize = 1;

// A streaming codec driven the classic way: the caller points src at input
// and dst at free space, calls process() and looks at how far the pointers
// moved. Input is taken as soon as it is offered. Output is produced once the
// whole stream is known (for encoding, at finalize; for decoding, when the
// end-of-stream block has arrived) and is then handed out into dst over as
// many calls as the caller's space needs; the call that hands out the last
// byte returns end.
//
// Decoding never produces more than kMaxDecodedBytes: a stream announcing more
// is an error, so a small hostile input cannot claim unbounded memory. While
// the end-of-stream block has not arrived, process() without finalize takes
// the input and returns ok without producing anything; with finalize that is
// an error.
class CompressionStream {
public:
    static constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{64} << 20;

    CompressionStream();
    ~CompressionStream();
    CompressionStream(const CompressionStream&) = delete;
    CompressionStream& operator=(const CompressionStream&) = delete;

    // Error for an algorithm other than LZFSE.
    CompressionStatus init(CompressionOperation operation, int algorithm);
    CompressionStatus process(int flags);
    // Releases the state; process() fails afterwards until the next init().
    CompressionStatus destroy();

    std::uint8_t* dstPtr = nullptr;
    std::size_t dstSize = 0;
    const std::uint8_t* srcPtr = nullptr;
    std::size_t srcSize = 0;

private:
    struct State;

    CompressionStatus produce(State& state, bool finalize);
    CompressionStatus drain(State& state);

    std::unique_ptr<State> state_;
};

}  // namespace tallowmere::lzfse
