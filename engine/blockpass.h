#pragma once
// The loop every pass over a source shares, the engine's and the rebuild writer's: reads of
// up to kBlockSize bytes into ReadBuffer from the source's position to its end, with the
// progress line and a turn of the window's event loop every 4 MiB, a repaint every 64 MiB,
// and a stop at the next block once CancelFlag is set.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qf {

class Context;

inline constexpr int64_t kPumpInterval = 4 * 1024 * 1024;
inline constexpr int64_t kRepaintInterval = 64 * 1024 * 1024;
// "Fast EVO checking" ends a read pass with the block that passes this many bytes.
inline constexpr int64_t kFastCheckLimit = 300000000;

struct BlockPassSettings {
    bool writes = false;        // the pass writes files: Cancel asks first (WriteMode)
    std::string progressPrefix; // what the progress line starts with
    int64_t stopPast = 0;       // > 0: CancelFlag is set by the block that passes it
};

// Runs onBlock(n) for each block of n bytes read into ReadBuffer. The source's size is
// taken once at the start: a source that delivers nothing before that size (it shrank, or
// a read failed) ends the pass with the stream's read error. Clears CancelFlag and sets
// WriteMode at the start; Cancel is enabled while the pass runs.
void runBlocks(Context& ctx, const BlockPassSettings& settings,
               const std::function<void(size_t)>& onBlock);

} // namespace qf
