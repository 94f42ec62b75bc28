#include "engine/demux.h"

#include "engine/blockpass.h"
#include "engine/lpcm_output.h"
#include "engine/pass.h"
#include "engine/paths.h"

namespace qf {

namespace pass {

void Pass::run() {
    Context& c = ctx_;
    c.fillReportTables();
    // By the slots the outputs were named by, before they are counted again.
    if (!read_) convertLpcmOutputs(c);
    c.resetCatalogue();
    if (!read_) {
        pending_.reserve(c.VideoOut.size() + c.AudioOut.size() + c.SubOut.size());
        auto addAll = [&](auto& outs) {
            for (auto& o : outs)
                if (o) pending_.emplace_back().out = o.get();
        };
        addAll(c.VideoOut);
        addAll(c.AudioOut);
        addAll(c.SubOut);
    }

    BlockPassSettings how;
    how.writes = !read_;
    if (read_ && fastCheck_) how.stopPast = kFastCheckLimit;
    runBlocks(c, how, *this);
    if (c.control.stopRequested()) {
        c.FrameCount = {0, 0};
        c.FieldCount = {0, 0};
    }
}

void Pass::parseBlock(std::span<const uint8_t> block) {
    buf_ = block.data();
    // The first system header is taken to follow a 14-byte pack header at the start of the
    // source, whatever the source's size: the first block is the one that ends where its
    // length does, and the bounds are its bytes 23 and 24.
    if (read_ && ctx_.BlockEnd == static_cast<int64_t>(block.size()) && block.size() > 24 &&
        buf_[16] == 0x01 && buf_[17] == 0xBB)
        systemHeaderLine();
    parse(block.size());
}

void Pass::systemHeaderLine() {
    const int v = buf_[24] & 0x1F, a = buf_[23] >> 2;
    ctx_.log("It contains " + std::to_string(v) + " video stream" + (v > 1 ? "s" : "") + " and " +
             std::to_string(a) + " audio stream" + (a > 1 ? "s." : "."));
}

} // namespace pass

bool isAobSource(const Context& ctx) {
    return upperExt(ctx.job.source) == ".AOB";
}

bool isDvdVideoSource(const Context& ctx) {
    return ctx.titleFacts.dvdVideo || upperExt(ctx.job.source) == ".VOB";
}

void demux(Context& ctx, uint8_t mode) {
    pass::Pass(ctx, mode).run();
}

} // namespace qf
