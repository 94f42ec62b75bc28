#pragma once
// One pass over ctx.SourceStream from its current position to its end.
#include <cstdint>

namespace qf {

class Context;

enum : uint8_t { kReadPass = 0, kDemuxPass = 1 };

// Mode 0 (read pass): detect, announce and describe streams, count frames.
// Mode 1 (demux pass): write every ticked stream's payload to its output.
// Throws Error("Stream read error: ...") when the source delivers nothing before its end,
// and lets write errors of the outputs through.
void demux(Context& ctx, uint8_t mode);

// Does the source path name a DVD-Audio object (".AOB" in any letter case)?
bool isAobSource(const Context& ctx);
// Is the source DVD-Video: a ".VOB" file (any letter case), or a title the disc's
// IFO files describe?
bool isDvdVideoSource(const Context& ctx);

} // namespace qf
