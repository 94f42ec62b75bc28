// What happens to each payload run of a pass: frame counting, the first run's details
// and, in a demux pass, the output.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

#include "analysers/analysers.h"
#include "analysers/report.h"
#include "engine/caption_lookahead.h"
#include "engine/describe.h"
#include "engine/describe_captions.h"
#include "engine/pass.h"
#include "engine/subpicture_units.h"
#include "engine/timeline.h"

namespace qf::pass {

void Pass::payload(size_t p, size_t n) {
    switch (PacketKind) {
    case Packet::Video:
    case Packet::Audio:
    case Packet::MpegAudio:
    case Packet::Subpicture:
        break;
    default:
        return;
    }
    if (claimed_.entry < 0) return; // the packet names no stream
    if (PacketKind == Packet::Video && claimed_.slot >= 0 && countFrames_) countFrames(p, n);
    if (read_)
        details(p, n);
    else
        output(p, n);
}

void Pass::countFrames(size_t p, size_t n) {
    const auto k = static_cast<size_t>(claimed_.slot);
    if (!read_ && !env_.io.VideoOut[k]) return;
    if (claimed_.codec == Codec::Mpeg2) {
        PictureTally tally{env_.cat.FrameCount[k], env_.cat.FieldCount[k]};
        countPictures(pictureScan_[k], buf_ + p, n, tally);
        return;
    }
    env_.cat.FrameCount[k] +=
        countStartCodes(frameWindow_[k], buf_ + p, n, codecInfo(claimed_.codec).frameCode);
}

void Pass::details(size_t p, size_t n) {
    const int entry = claimed_.entry, slot = claimed_.slot;
    if (described_.test(static_cast<size_t>(entry))) return;
    described_.set(static_cast<size_t>(entry));
    PassEnv& c = env_;
    const bool describe = details_;
    const bool video = PacketKind == Packet::Video, sub = PacketKind == Packet::Subpicture;
    const Stamp pts = video ? VideoPTS : sub ? SubPTS : AudioPTS;
    // Also without details, or subpicture times would come out shifted. Earlier is the
    // short way round the time stamps' wrap.
    if (!sub &&
        (c.cat.EarliestPTS == kNoEarliestPts || timeline::stampDelta(c.cat.EarliestPTS, pts) < 0))
        c.cat.EarliestPTS = pts;

    // The line shows the stamp's low 32 bits, as the log always has.
    if (describe)
        for (const std::string& line :
             qf::describe(FirstPacket{static_cast<uint32_t>(pts), pes_.key.id, slot >= 0}))
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
        // The analysers' first-PTS lines show the stamp's low 32 bits.
        const auto videoPts = static_cast<uint32_t>(VideoPTS);
        switch (codecInfo(claimed_.codec).analyser) {
        case Analyser::Mpeg2:
            info = parseMpeg2(run, videoPts);
            break;
        case Analyser::H264:
            info = parseH264(run);
            break;
        case Analyser::Vc1:
            info = parseVc1(run, videoPts);
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
        for (const std::string& line : qf::describe(info, {c.decimalSeparator(), slot}))
            c.log(line);
    facts.found.push_back(std::move(info));
    const Analyser a = codecInfo(claimed_.codec).analyser;
    if (video && (a == Analyser::Mpeg2 || a == Analyser::H264)) {
        CaptionChannels cc =
            leadingCaptions(c.block(), p, n, pes_.streamId,
                            a == Analyser::H264 ? VideoCoding::H264 : VideoCoding::Mpeg2);
        const TitleFacts& title = c.cat.titleFacts;
        addLine21Flags(cc, title.line21Field1, title.line21Field2);
        if (!facts.captions.any()) facts.captions = cc;
        if (describe)
            for (const std::string& line : qf::describe(cc, {c.decimalSeparator(), slot}))
                c.log(line);
    }
}

void Pass::output(size_t p, size_t n) {
    PassEnv& c = env_;
    const int slot = claimed_.slot;
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
            const int64_t at = pes_.payloadStart;
            const bool sharesPack =
                q.unitAt != INT64_MIN && at >= q.unitAt && at - q.unitAt < kUnitSpacing;
            if (!sharesPack) q.unitAt = at;
            units->unitStart(clock_.onFirstClock(pes_.pts), sharesPack);
        }
        if (out && !units) {
            // Times are relative to the earliest audio/video PTS of the last read, if any.
            // The record's field holds 32 bits: the difference is cut to them.
            const Stamp earliest = c.cat.EarliestPTS;
            const Stamp at = clock_.onFirstClock(pes_.pts);
            const auto pts = static_cast<uint32_t>(
                earliest == kNoEarliestPts ? at : timeline::stampDelta(earliest, at));
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
    if (out && n > 0) {
        pending(out).add(buf_ + p, n);
        if (PacketKind == Packet::Audio || PacketKind == Packet::MpegAudio)
            clock_.audioWritten(slot, nullptr, static_cast<uint32_t>(n));
    }
}

PendingRuns& Pass::pending(Stream* out) {
    for (auto& q : pending_)
        if (q.out == out) return q;
    // Every output is registered at the pass start, and the pending runs point into
    // pending_, so it must never grow during the pass.
    throw std::logic_error("output not registered with the pass");
}

} // namespace qf::pass
