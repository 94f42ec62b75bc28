#pragma once
// The loop every pass over a source shares, the engine's and the rebuild writer's: blocks
// of up to kBlockSize bytes from the source's position to its end, with the progress line
// and the front end's turn (events.processEvents) every 4 MiB, a repaint every 64 MiB, a
// wait while a question about stopping is open, and a stop
// between blocks once a stop is requested (RunControl). The source is read a chunk of sixteen
// blocks at a time, by a thread that reads the next chunk while the pass parses one, and what a
// pass writes goes out once per chunk.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qf {

class PassEnv;

inline constexpr int64_t kPumpInterval = 4 * 1024 * 1024;
inline constexpr int64_t kRepaintInterval = 64 * 1024 * 1024;
// "Fast EVO checking" ends a read pass with the block that passes this many bytes, when
// some of the source is left after it.
inline constexpr int64_t kFastCheckLimit = 300000000;

struct BlockPassSettings {
    bool writes = false;        // the pass writes files: Cancel asks first (RunControl::writing)
    std::string progressPrefix; // what the progress line starts with
    // What the status says the pass does in a further part of a title ("Reading": "Reading
    // FEATURE_2.EVO"), after the "Continue on" line. With partInProgress, the progress line
    // starts with it and the part's name instead (progressPrefix: the name of a source
    // that joins no parts).
    std::string partVerb;
    bool partInProgress = false;
    // > 0: the block that passes it requests the fast-check stop, unless that block ends the
    // source.
    int64_t stopPast = 0;
};

// What a pass does with each block.
class BlockHandler {
public:
    virtual ~BlockHandler() = default;
    // Looks at the block (also env.block()); what it writes waits for writeChunk(), and may
    // point into the block until then.
    virtual void parseBlock(std::span<const uint8_t> block) = 0;
    // Writes what the blocks of the chunk just parsed gave.
    virtual void writeChunk() {}
    // The next block begins a further part of the title: what was written of the parts
    // before is out.
    virtual void partStarted() {}
};

// Hands each block to the handler. A source that joins the parts of a title is passed
// part by part as if each were read alone (chunks, progress turns and the fast-check limit
// count from the part's start), with "Continue on NAME" and the part verb's status between
// them; progress and the remaining time cover the whole title. The source's size is taken once at
// the start: a source that delivers nothing before that size (it shrank, or a read failed) ends the
// pass with the stream's read error. Begins the pass on env.control (no stop asked, the write mode
// set); Cancel is
// enabled while the pass runs. A Cancel seen at a block's turn of the front end stops the
// pass once that block is parsed and written, and leaves the source where that block ends.
// ReadBuffer is grown to two chunks, which the blocks are parsed in turn from.
void runBlocks(PassEnv& env, const BlockPassSettings& settings, BlockHandler& handler);

} // namespace qf
