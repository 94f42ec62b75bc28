#include "engine/pcm_layout.h"

#include <algorithm>

#include "engine/stream.h"

namespace qf {

namespace {

using namespace speaker;

// Every channel assignment, in the order the samples come: DVD-Video's by channel count
// (rows 0-7; the header names the count only, so the usual layout of that count), then
// the 21 of DVD-Audio and HD DVD by code (rows 8-28), with their group 1 first. A single
// surround channel is the back centre, a surround pair the back pair.
constexpr ChannelAssignment kAssignments[29] = {
    {1, 1, {FC}},
    {2, 2, {FL, FR}},
    {3, 3, {FL, FR, FC}},
    {4, 4, {FL, FR, BL, BR}},
    {5, 5, {FL, FR, FC, BL, BR}},
    {6, 6, {FL, FR, FC, LFE, BL, BR}},
    {7, 7, {FL, FR, FC, LFE, BC, SL, SR}},
    {8, 8, {FL, FR, FC, LFE, BL, BR, SL, SR}},
    {1, 1, {FC}},                      // 0  C (mono)
    {2, 2, {FL, FR}},                  // 1  L + R
    {3, 2, {FL, FR, BC}},              // 2  Lf + Rf | S
    {4, 2, {FL, FR, BL, BR}},          // 3  Lf + Rf | Ls + Rs
    {3, 2, {FL, FR, LFE}},             // 4  Lf + Rf | LFE
    {4, 2, {FL, FR, LFE, BC}},         // 5  Lf + Rf | LFE + S
    {5, 2, {FL, FR, LFE, BL, BR}},     // 6  Lf + Rf | LFE + Ls + Rs
    {3, 2, {FL, FR, FC}},              // 7  Lf + Rf | C
    {4, 2, {FL, FR, FC, BC}},          // 8  Lf + Rf | C + S
    {5, 2, {FL, FR, FC, BL, BR}},      // 9  Lf + Rf | C + Ls + Rs
    {4, 2, {FL, FR, FC, LFE}},         // 10 Lf + Rf | C + LFE
    {5, 2, {FL, FR, FC, LFE, BC}},     // 11 Lf + Rf | C + LFE + S
    {6, 2, {FL, FR, FC, LFE, BL, BR}}, // 12 Lf + Rf | C + LFE + Ls + Rs
    {4, 3, {FL, FR, FC, BC}},          // 13 Lf + Rf + C | S
    {5, 3, {FL, FR, FC, BL, BR}},      // 14 Lf + Rf + C | Ls + Rs
    {4, 3, {FL, FR, FC, LFE}},         // 15 Lf + Rf + C | LFE
    {5, 3, {FL, FR, FC, LFE, BC}},     // 16 Lf + Rf + C | LFE + S
    {6, 3, {FL, FR, FC, LFE, BL, BR}}, // 17 Lf + Rf + C | LFE + Ls + Rs
    {5, 4, {FL, FR, BL, BR, LFE}},     // 18 Lf + Rf + Ls + Rs | LFE
    {5, 4, {FL, FR, BL, BR, FC}},      // 19 Lf + Rf + Ls + Rs | C
    {6, 4, {FL, FR, BL, BR, FC, LFE}}, // 20 Lf + Rf + Ls + Rs | C + LFE
};

bool knownSize(int bits) {
    return bits == 16 || bits == 20 || bits == 24;
}

} // namespace

const ChannelAssignment* dvdVideoChannels(int count) {
    return count >= 1 && count <= 8 ? &kAssignments[count - 1] : nullptr;
}

const ChannelAssignment* assignedChannels(unsigned code) {
    return code <= 20 ? &kAssignments[8 + code] : nullptr;
}

uint32_t flacDefaultMask(int count) {
    uint32_t mask = 0;
    if (const ChannelAssignment* a = dvdVideoChannels(count))
        for (int k = 0; k < a->count; ++k) mask |= a->speakers[k];
    return mask;
}

LpcmUnpacker::LpcmUnpacker(const LpcmFacts& f) {
    const ChannelAssignment* a = f.layout == LpcmLayout::DvdVideo ? dvdVideoChannels(f.channels)
                                                                  : assignedChannels(f.assignment);
    const bool audio = f.layout == LpcmLayout::DvdAudio;
    if (a == nullptr || !knownSize(f.bits) || f.rate <= 0 ||
        (audio && f.bits2 != 0 && !knownSize(f.bits2)))
        throw Error("Cannot convert the LPCM stream: its sample size, sampling rate or channels "
                    "are unknown.");
    const int c = a->count;
    // Only DVD-Audio splits its channels in two groups, each with a size and rate.
    const int g1 = audio ? a->group1 : c;
    const int bits2 = audio && f.bits2 != 0 ? f.bits2 : f.bits;
    if (g1 < c && f.rate2 != 0 && f.rate2 != f.rate)
        throw Error("Cannot convert the LPCM stream: its two channel groups have different "
                    "sampling rates.");
    channels_ = c;
    rate_ = f.rate;
    bits_ = g1 < c ? std::max(f.bits, bits2) : f.bits;

    // Channel k of the stream goes to the place of its speaker among the mask's bits.
    uint8_t pos[8] = {};
    for (int k = 0; k < c; ++k) {
        mask_ |= a->speakers[k];
        for (int j = 0; j < c; ++j)
            if (a->speakers[j] < a->speakers[k]) ++pos[k];
    }
    std::array<uint8_t, kMaxChunkSamples> order{};
    size_t n = 0, at = 0;
    auto take = [&](int frame, int first, int end) {
        for (int ch = first; ch < end; ++ch) order[n++] = static_cast<uint8_t>(frame * c + pos[ch]);
    };
    if (f.layout == LpcmLayout::DvdVideo) {
        // 16 bits: frame after frame. 20 and 24 bits: the samples in runs of four (two
        // for mono), each run's upper 16 bits first, then their low bits.
        // A chunk is whole runs of whole frames.
        chunkFrames_ = f.bits == 16 ? 1 : (c == 1 || c % 2 == 0 ? 2 : 4);
        for (size_t fr = 0; fr < chunkFrames_; ++fr) take(static_cast<int>(fr), 0, c);
        const size_t run = f.bits == 16 ? n : (c == 1 ? 2 : 4);
        for (size_t s = 0; s < n; s += run) at = block(at, order.data() + s, run, f.bits);
    } else {
        // Two frames at a time. 16 bits: frame after frame; else group 2's samples of the
        // two frames come first, then group 1's, each laid out as DVD-Video's pairs.
        chunkFrames_ = 2;
        if (f.bits == 16 && bits2 == 16) {
            take(0, 0, c);
            take(1, 0, c);
            at = block(0, order.data(), n, 16);
        } else {
            if (g1 < c) {
                take(0, g1, c);
                take(1, g1, c);
                at = block(0, order.data(), n, bits2);
            }
            const size_t first = n;
            take(0, 0, g1);
            take(1, 0, g1);
            at = block(at, order.data() + first, n - first, f.bits);
        }
    }
    chunkBytes_ = at;
}

size_t LpcmUnpacker::block(size_t at, const uint8_t* order, size_t n, int bits) {
    const size_t lows = 2 * n;
    for (size_t k = 0; k < n; ++k) {
        Place& p = place_[places_++];
        p.high = static_cast<uint8_t>(at + 2 * k);
        p.out = order[k];
        p.shift = static_cast<uint8_t>(bits_ - bits);
        if (bits == 24) {
            p.low = static_cast<uint8_t>(at + lows + k);
            p.part = Low::Byte;
        } else if (bits == 20) {
            p.low = static_cast<uint8_t>(at + lows + k / 2);
            p.part = k % 2 == 0 ? Low::UpperNibble : Low::LowerNibble;
        }
    }
    return at + lows + n * static_cast<size_t>(bits - 16) / 8;
}

void LpcmUnpacker::unpack(const uint8_t* in, int32_t* out) const {
    for (size_t k = 0; k < places_; ++k) {
        const Place& p = place_[k];
        int32_t v = static_cast<int16_t>(static_cast<uint16_t>(in[p.high] << 8 | in[p.high + 1]));
        switch (p.part) {
        case Low::None:
            break;
        case Low::UpperNibble:
            v = v * 16 + (in[p.low] >> 4);
            break;
        case Low::LowerNibble:
            v = v * 16 + (in[p.low] & 15);
            break;
        case Low::Byte:
            v = v * 256 + in[p.low];
            break;
        }
        out[p.out] = v * (int32_t{1} << p.shift);
    }
}

} // namespace qf
