// Fuzzes the PES parser in both pass modes. The first input byte chooses where the
// fuzzed bytes start relative to the 262,144-byte block boundary.
#include "engine/demux.h"
#include "fuzz_common.h"

using namespace qf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t shape = data[0];
    ++data;
    --size;
    std::vector<uint8_t> src;
    if (shape & 1) src.resize(kBlockSize - (shape >> 1) % 64, 0); // straddle the boundary
    src.insert(src.end(), data, data + size);

    fuzz::QuietHost host;
    Session ctx(host);
    ctx.ui.eEVOfile = (shape & 2) ? "x.AOB" : "x.EVO";
    for (int mode = 0; mode < 2; ++mode) {
        ctx.io.SourceStream = std::make_unique<fuzz::MemorySource>(src);
        if (mode == 1) {
            for (auto& b : ctx.ui.cbVideo) b.checked = true;
            for (auto& b : ctx.ui.cbAudio) b.checked = true;
            for (auto& b : ctx.ui.cbSub) b.checked = true;
            for (auto& o : ctx.io.VideoOut) o = std::make_unique<fuzz::NullSink>();
            for (auto& o : ctx.io.AudioOut) o = std::make_unique<fuzz::NullSink>();
            for (auto& o : ctx.io.SubOut) o = std::make_unique<fuzz::NullSink>();
        }
        ctx.job = jobRequest(ctx.ui);
        demux(ctx, static_cast<uint8_t>(mode));
    }
    return 0;
}
