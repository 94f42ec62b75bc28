#include "engine/demux.h"

#include <optional>

#include "engine/blockpass.h"
#include "engine/pass.h"
#include "engine/paths.h"

namespace qf {

namespace pass {

void Pass::begin() {
    PassEnv& c = env_;
    if (read_) return;
    pending_.reserve(c.io.VideoOut.size() + c.io.AudioOut.size() + c.io.SubOut.size());
    auto addAll = [&](auto& outs) {
        for (auto& o : outs)
            if (o) pending_.emplace_back().out = o.get();
    };
    addAll(c.io.VideoOut);
    addAll(c.io.AudioOut);
    addAll(c.io.SubOut);
}

namespace {

// Each part of a title gets a pass of its own, as if it were read alone: its streams are
// found, described and counted anew, and nothing of a packet cut off at the end of one
// part runs into the next. The slots a part found stay in the catalogue.
class PartPasses final : public BlockHandler {
public:
    PartPasses(PassEnv& env, uint8_t mode) : env_(env), mode_(mode) { startPass(); }
    void parseBlock(std::span<const uint8_t> block) override { pass_->parseBlock(block); }
    void writeChunk() override { pass_->writeChunk(); }
    void partStarted() override { startPass(); }

private:
    void startPass() {
        pass_.emplace(env_, mode_);
        pass_->begin();
    }

    PassEnv& env_;
    const uint8_t mode_;
    std::optional<Pass> pass_;
};

} // namespace

void Pass::parseBlock(std::span<const uint8_t> block) {
    buf_ = block.data();
    blockStart_ = env_.io.BlockEnd - static_cast<int64_t>(block.size());
    // The first system header is taken to follow a 14-byte pack header at the start of the
    // part, whatever its size: the first block is the one that ends where its length does,
    // and the bounds are its bytes 23 and 24.
    if (read_ && env_.io.BlockEnd - env_.io.PartStart == static_cast<int64_t>(block.size()) &&
        block.size() > 24 && buf_[16] == 0x01 && buf_[17] == 0xBB)
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
    const bool read = mode == kReadPass;
    env.cat.clearSlots();
    pass::PartPasses passes(env, mode);
    BlockPassSettings how;
    how.writes = !read;
    how.partVerb = read ? "Reading" : "Demuxing";
    if (read && env.options.fastCheck) how.stopPast = kFastCheckLimit;
    runBlocks(env, how, passes);
    if (env.control.stopRequested()) {
        env.cat.FrameCount = {0, 0};
        env.cat.FieldCount = {0, 0};
    }
}

} // namespace qf
