#pragma once
// What a pass reads from and writes to: the source, the read buffer with the block being
// parsed, and the outputs of the ticked streams. Owned by
// the job that runs the passes.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/stream.h"

namespace qf {

inline constexpr size_t kBlockSize = 0x40000; // 262,144 bytes: what a pass parses at a time
// What a pass reads and writes at a time: sixteen blocks, so that system calls, which cost
// more than copying, come once per 4 MiB of input rather than once per block.
inline constexpr size_t kChunkSize = 16 * kBlockSize;

struct PassIo {
    std::unique_ptr<Stream> SourceStream; // opened and closed by the jobs
    std::vector<uint8_t> ReadBuffer;      // a chunk, grown to two by the first pass
    // The block being parsed: BlockLen bytes at BlockAt in ReadBuffer, which end at the
    // source position BlockEnd.
    size_t BlockAt = 0, BlockLen = kBlockSize;
    int64_t BlockEnd = 0;
    // Outputs of the ticked boxes, made by the Demux job; a demux pass writes into them.
    std::array<std::unique_ptr<Stream>, 2> VideoOut;
    std::array<std::unique_ptr<Stream>, 16> AudioOut;
    std::array<std::unique_ptr<Stream>, 16> SubOut;
    // Where the part of the title the block is in begins in the source.
    int64_t PartStart = 0;

    PassIo() { ReadBuffer.resize(kChunkSize); }

    std::span<const uint8_t> block() const {
        const size_t at = BlockAt < ReadBuffer.size() ? BlockAt : ReadBuffer.size();
        const size_t left = ReadBuffer.size() - at;
        return {ReadBuffer.data() + at, BlockLen < left ? BlockLen : left};
    }
    // Closes the outputs; with `check`, a failed close is thrown as a write error.
    void closeOutputs(bool check = true);
};

} // namespace qf
