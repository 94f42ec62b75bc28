#include "engine/demux.h"

#include "engine/blockpass.h"
#include "engine/pass.h"
#include "engine/paths.h"

namespace qf {

namespace pass {

void Pass::run() {
    PassEnv& c = env_;
    c.cat.clearSlots();
    if (!read_) {
        pending_.reserve(c.io.VideoOut.size() + c.io.AudioOut.size() + c.io.SubOut.size());
        auto addAll = [&](auto& outs) {
            for (auto& o : outs)
                if (o) pending_.emplace_back().out = o.get();
        };
        addAll(c.io.VideoOut);
        addAll(c.io.AudioOut);
        addAll(c.io.SubOut);
    }

    BlockPassSettings how;
    how.writes = !read_;
    if (read_ && fastCheck_) how.stopPast = kFastCheckLimit;
    runBlocks(c, how, *this);
    if (c.control.stopRequested()) {
        c.cat.FrameCount = {0, 0};
        c.cat.FieldCount = {0, 0};
    }
}

void Pass::parseBlock(std::span<const uint8_t> block) {
    buf_ = block.data();
    // The first system header is taken to follow a 14-byte pack header at the start of the
    // source, whatever the source's size: the first block is the one that ends where its
    // length does, and the bounds are its bytes 23 and 24.
    if (read_ && env_.io.BlockEnd == static_cast<int64_t>(block.size()) && block.size() > 24 &&
        buf_[16] == 0x01 && buf_[17] == 0xBB)
        systemHeaderLine();
    parse(block.size());
}

void Pass::systemHeaderLine() {
    const int v = buf_[24] & 0x1F, a = buf_[23] >> 2;
    env_.tell(SystemHeaderRead{v, a});
}

} // namespace pass

bool isAobSource(const std::string& source) {
    return upperExt(source) == ".AOB";
}

bool isDvdVideoSource(const std::string& source, const TitleFacts& facts) {
    return facts.dvdVideo || upperExt(source) == ".VOB";
}

void demux(PassEnv& env, uint8_t mode) {
    pass::Pass(env, mode).run();
}

} // namespace qf
