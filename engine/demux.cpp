#include "engine/demux.h"

#include <cmath>
#include <cstdio>
#include <map>
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
    PartPasses(PassEnv& env, uint8_t mode)
        : env_(env), mode_(mode), clock_(env.cat.titleFacts.cells) {
        if (env.options.countFrames)
            clock_.followCounts(&env.cat.FrameCount[0], &env.cat.FieldCount[0]);
        startPass();
    }
    void parseBlock(std::span<const uint8_t> block) override { pass_->parseBlock(block); }
    void writeChunk() override { pass_->writeChunk(); }
    void partStarted() override {
        clock_.partStarted(env_.io.PartStart);
        startPass();
    }
    TitleClock& clock() { return clock_; }

private:
    void startPass() {
        frameDuration();
        pass_.emplace(env_, mode_, clock_);
        pass_->begin();
    }

    PassEnv& env_;
    const uint8_t mode_;
    TitleClock clock_;
    std::optional<Pass> pass_;

public:
    // The title's picture's frame length, once a read has seen its frame rate.
    void frameDuration() {
        if (const auto fps = env_.cat.facts(Family::Video, 0).frameRate(); fps && *fps > 0)
            clock_.setFrameDuration(std::llround(timeline::kTicksPerSecond / *fps));
    }
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
    passes.frameDuration();
    const TitleClock& clock = passes.clock();
    env.cat.segments = clock.placed();
    if (!env.cat.segments.empty() && !env.cat.titleFacts.cells.empty())
        chaptersAtPictures(env.cat.titleFacts, clock.cellPictures(),
                           static_cast<Stamp>(env.cat.segments.front().anchorPts));
    if (!read)
        for (int k = 0; k < TitleClock::kAudioSlots; ++k)
            env.cat.audioAnchors[static_cast<size_t>(k)] = clock.audioAnchors(k);
    // A read tells where the clock jumps; a demux only when its read did not see the whole
    // title.
    if (read || env.cat.fastCheckStop >= 0) {
        std::map<int, std::string> names;
        const auto audio = env.cat.slotTable(Family::Audio);
        for (int k = 0; k < TitleClock::kAudioSlots; ++k) {
            const SlotEntry& e = audio[static_cast<size_t>(k)];
            if (!e.met()) continue;
            char number[8];
            std::snprintf(number, sizeof number, ".%02d", k);
            names[k] = AudioKindName(e.entry()) + number;
        }
        for (size_t i = 1; i < env.cat.segments.size(); ++i)
            env.tell(SegmentStarted{env.cat.segments[i], names});
    }
    if (env.control.stopRequested()) {
        env.cat.FrameCount = {0, 0};
        env.cat.FieldCount = {0, 0};
    }
}

} // namespace qf
