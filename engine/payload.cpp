// What happens to each payload run of a pass: frame counting, the first run's details
// and, in a demux pass, the output.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "analysers/analysers.h"
#include "analysers/report.h"
#include "engine/describe.h"
#include "engine/pass.h"
#include "engine/subpicture_units.h"

namespace qf::pass {

void Pass::payload(size_t p, size_t n) {
    int entry = -1, slot = -1;
    switch (PacketKind) {
    case Packet::Video:
        entry = VideoEntry, slot = VideoIdx;
        break;
    case Packet::Audio:
    case Packet::MpegAudio:
        entry = AudioEntry, slot = AudioIdx;
        break;
    case Packet::Subpicture:
        entry = SubEntry, slot = SubIdx;
        break;
    default:
        return;
    }
    if (entry < 0) return; // the packet names no stream
    if (PacketKind == Packet::Video && slot >= 0 && countFrames_) countFrames(p, n);
    if (read_)
        details(p, n, entry, slot);
    else
        output(p, n, slot);
}

void Pass::countFrames(size_t p, size_t n) {
    if (!read_ && !env_.io.VideoOut[static_cast<size_t>(VideoIdx)]) return;
    if (VideoCodec_ == Codec::Mpeg2) {
        PictureTally tally{env_.cat.FrameCount[VideoIdx], env_.cat.FieldCount[VideoIdx]};
        countPictures(pictureScan_[VideoIdx], buf_ + p, n, tally);
        return;
    }
    env_.cat.FrameCount[VideoIdx] +=
        countStartCodes(frameWindow_[VideoIdx], buf_ + p, n, codecInfo(VideoCodec_).frameCode);
}

void Pass::details(size_t p, size_t n, int entry, int slot) {
    if (described_.test(static_cast<size_t>(entry))) return;
    described_.set(static_cast<size_t>(entry));
    PassEnv& c = env_;
    const bool describe = details_;
    const bool video = PacketKind == Packet::Video, sub = PacketKind == Packet::Subpicture;
    const uint32_t pts = video ? VideoPTS : sub ? SubPTS : AudioPTS;
    // Also without details, or subpicture times would come out shifted.
    if (!sub && pts < c.cat.EarliestPTS) c.cat.EarliestPTS = pts;

    if (describe)
        for (const std::string& line : qf::describe(FirstPacket{pts,
                                                                video ? VideoId
                                                                : sub ? SubId
                                                                      : AudioId,
                                                                slot >= 0}))
            c.log(line);
    if (slot < 0) return;
    StreamFacts& facts = c.cat.facts(video ? Family::Video
                                     : sub ? Family::Subpicture
                                           : Family::Audio,
                                     static_cast<size_t>(slot));
    if (facts.entry < 0) { // a two-part title keeps what its first part showed
        facts.entry = entry;
        facts.firstPts = pts;
    }
    // What the analyser decoded is kept also without details: the frame rate gives the
    // durations of the frame counts.
    StreamInfo info;
    if (sub) {
        // A unit whose size field is 0 carries 8-bit RLE; with one byte, decide by that one.
        info = SubpictureInfo{n > 0 && buf_[p] == 0 && (n < 2 || buf_[p + 1] == 0)};
    } else if (n > 0) {
        const std::span<const uint8_t> run = runBytes(c, p, n);
        switch (codecInfo(video ? VideoCodec_ : AudioCodec_).analyser) {
        case Analyser::Mpeg2:
            info = parseMpeg2(run, VideoPTS);
            break;
        case Analyser::H264:
            info = parseH264(run);
            break;
        case Analyser::Vc1:
            info = parseVc1(run, VideoPTS);
            break;
        case Analyser::Ac3:
            info = parseAc3(run, c.tables());
            break;
        case Analyser::Dts:
            info = parseDts(c.block(), p, p + run.size());
            break;
        case Analyser::Mlp:
            info = parseMlp(run);
            break;
        case Analyser::Lpcm:
            info = parseLpcm(c.block(), p, dvdVideo_);
            break;
        case Analyser::Mpa:
            info = parseMpa(run);
            break;
        case Analyser::Subpicture: // told apart above, without an analyser
        case Analyser::None:
            return;
        }
    } else {
        return;
    }
    if (describe)
        for (const std::string& line : qf::describe(info, {c.decimalSeparator(), AudioIdx}))
            c.log(line);
    facts.found.push_back(std::move(info));
}

void Pass::output(size_t p, size_t n, int slot) {
    PassEnv& c = env_;
    // The job made an output for each stream it writes, before the pass: what happens to
    // the boxes meanwhile changes nothing.
    Stream* out = nullptr;
    if (slot >= 0) {
        const auto k = static_cast<size_t>(slot);
        if (PacketKind == Packet::Video)
            out = k < c.io.VideoOut.size() ? c.io.VideoOut[k].get() : nullptr;
        else if (PacketKind == Packet::Subpicture)
            out = k < c.io.SubOut.size() ? c.io.SubOut[k].get() : nullptr;
        else
            out = c.io.AudioOut[k].get();
    }
    if (PacketKind == Packet::Subpicture && RecordPending) {
        RecordPending = false;
        auto* units = dynamic_cast<SubpictureUnits*>(out);
        if (units) {
            // The unit writer takes the time apart from the bytes: what came before goes first.
            PendingRuns& q = pending(out);
            q.flush();
            // A disc gives each unit a pack of its own: its packet begins a pack's length
            // after the last one's, give or take the headers before it in the pack.
            constexpr int64_t kUnitSpacing = 2048 - 64;
            const bool sharesPack =
                q.unitAt != INT64_MIN && SubAt >= q.unitAt && SubAt - q.unitAt < kUnitSpacing;
            if (!sharesPack) q.unitAt = SubAt;
            units->unitStart(RecordPTS, sharesPack);
        }
        // Times are relative to the earliest audio/video PTS of the last read, if any.
        const uint32_t pts =
            c.cat.EarliestPTS == 0xFFFFFFFF ? RecordPTS : RecordPTS - c.cat.EarliestPTS;
        if (out && !units) {
            const uint8_t rec[10] = {'S',
                                     'P',
                                     static_cast<uint8_t>(pts),
                                     static_cast<uint8_t>(pts >> 8),
                                     static_cast<uint8_t>(pts >> 16),
                                     static_cast<uint8_t>(pts >> 24),
                                     0,
                                     0,
                                     0,
                                     0};
            pending(out).addHeader(rec);
            CurPTS = 0;
        }
    }
    if (out && n > 0) pending(out).add(buf_ + p, n);
}

PendingRuns& Pass::pending(Stream* out) {
    for (auto& q : pending_)
        if (q.out == out) return q;
    // Every output is registered at the pass start, and the pending runs point into
    // pending_, so it must never grow during the pass.
    throw std::logic_error("output not registered with the pass");
}

} // namespace qf::pass
