// Reports of LPCM streams (from the private header) and of MLP / TrueHD major syncs.
#include <algorithm>
#include <cstdint>
#include <string>

#include "analysers/analysers.h"
#include "analysers/report.h"

namespace qf {

namespace {

// Hz by the 4-bit sampling-frequency code, and bits by the word-length code, of the name
// tables; 0 where they have no name.
constexpr int kHertz[16] = {48000, 96000, 192000, 0, 0, 0, 0, 0, 44100, 88200, 176400};
constexpr int kBits[16] = {16, 20, 24};

void rateValue(Report& r, uint8_t code) {
    if (kHertz[code & 15] != 0) r.value(key::SamplingRate, kHertz[code & 15]);
}

// A channel arrangement as a value, with the number of channels it names.
void layoutValue(Report& r, const std::string& layout) {
    if (layout.empty()) return;
    r.value(key::ChannelLayout, layout);
    r.value(key::Channels, 1 + static_cast<double>(std::count(layout.begin(), layout.end(), '+')));
}

} // namespace

namespace {

// A DVD-Video LPCM header keeps its audio fields in one byte, the second after the
// first-access-unit pointer: bits 7-6 word length (16, 20, 24), bits 5-4 sampling rate
// (48, 96 kHz), bits 2-0 the channels less one.
void dvdVideoHeader(Report& r, uint8_t fields) {
    const int wordLength = fields >> 6, rate = (fields >> 4) & 3, channels = (fields & 7) + 1;
    if (wordLength < 3) {
        r.log("   Sample size = [bl]" + std::to_string(kBits[wordLength]) + "[/bl] bit");
        r.value(key::BitsPerSample, kBits[wordLength]);
    } else {
        r.log("   Sample size = reserved");
    }
    if (rate < 2) {
        r.log("   Sampling frequency = [bl]" + r.tables().RateNames[rate] + "[/bl] kHz");
        rateValue(r, static_cast<uint8_t>(rate));
    } else {
        r.log("   Sampling frequency = reserved");
    }
    const std::string layout = channels == 1   ? std::string("mono")
                               : channels == 2 ? std::string("L + R")
                                               : std::to_string(channels) + " channels";
    r.log("   Channel arrangement = " + layout);
    r.value(key::ChannelLayout, layout);
    r.value(key::Channels, channels);
}

} // namespace

// The LPCM payload starts 7 bytes after the sub-stream id; the word length,
// sampling rate and channel assignment sit in that header, before p. DVD-Video lays them
// out otherwise than DVD-Audio and HD DVD.
void LPCMinfo(Report& r, size_t p, size_t /*n*/, bool dvdVideo) {
    const std::span<const uint8_t> buf = r.block();
    // Below 7 the header lay in the previous block, which is gone.
    if (p < 7 || p > buf.size()) return;
    if (dvdVideo) {
        dvdVideoHeader(r, buf[p - 2]);
        return;
    }

    const uint8_t wordLength = buf[p - 5] >> 4;
    const uint8_t rate = buf[p - 4] >> 4;
    const uint8_t channels = buf[p - 2] & 0x1F;
    r.log("   Sample size = [bl]" + r.tables().WordLengthNames[wordLength] + "[/bl] bit");
    if (rate != 15)
        r.log("   Sampling frequency = [bl]" + r.tables().RateNames[rate] + "[/bl] kHz");
    r.log("   Channel arrangement = " + r.tables().ChannelNames[channels]);
    if (kBits[wordLength] != 0) r.value(key::BitsPerSample, kBits[wordLength]);
    if (rate != 15) rateValue(r, rate);
    layoutValue(r, r.tables().ChannelNames[channels]);
}

void MLPinfo(Report& r, size_t p, size_t n) {
    const std::span<const uint8_t> run = runBytes(r, p, n);
    const uint8_t* buf = run.data();
    n = run.size();
    p = 0;

    uint32_t window = 0;
    int mlpCountdown = 0, truehdCountdown = 0;
    uint32_t modifier2 = 0, modifier6 = 0, modifier8 = 0, assignment6 = 0;

    // The last payload byte is never examined.
    for (size_t i = p; i + 1 < p + n; ++i) {
        const uint32_t b = buf[i];
        window = (window << 8) | b;
        if (window == 0xF8726FBA) {
            truehdCountdown = 4;
            r.log("   [b]TrueHD[/b] stream (up to 8 channels)");
            r.value(key::Format, "TrueHD");
        } else if (window == 0xF8726FBB) {
            mlpCountdown = 4;
            r.log("   [b]Standard MLP[/b] stream (up to 6 channels) ");
            r.value(key::Format, "MLP");
        } else if (mlpCountdown > 0) {
            switch (--mlpCountdown) {
            case 3:
                r.log("   Quantization length = [bl]" + r.tables().WordLengthNames[b >> 4] +
                      "[/bl] bits");
                if (kBits[b >> 4] != 0) r.value(key::BitsPerSample, kBits[b >> 4]);
                break;
            case 2:
                r.log("   Sampling frequency = [bl]" + r.tables().RateNames[b >> 4] + "[/bl] kHz");
                rateValue(r, static_cast<uint8_t>(b >> 4));
                break;
            case 0:
                r.log("   Channel arrangement = [bl]" + r.tables().ChannelNames[b & 0x1F] +
                      "[/bl]");
                layoutValue(r, r.tables().ChannelNames[b & 0x1F]);
                break;
            default:
                break;
            }
        } else if (truehdCountdown > 0) {
            switch (--truehdCountdown) {
            case 3:
                r.log("   Sampling frequency = [bl]" + r.tables().RateNames[b >> 4] + "[/bl] kHz");
                rateValue(r, static_cast<uint8_t>(b >> 4));
                break;
            case 2:
                modifier2 = b >> 6;
                modifier6 = (b >> 4) & 3;
                assignment6 = (b & 0x0F) * 2;
                break;
            case 1:
                assignment6 += b >> 7;
                modifier8 = (b >> 5) & 3;
                r.log("   2 ch. decoder");
                r.log("      channel modifier = " + std::to_string(modifier2));
                r.log("   6 ch. decoder");
                r.log("      channel modifier = " + std::to_string(modifier6));
                r.log("      channel arrangement = [bl]" + r.tables().MLPChannelNames[assignment6] +
                      "[/bl]");
                break;
            case 0: {
                const uint32_t assignment8 = window & 0x1FFF;
                r.log("   8 ch. decoder");
                r.log("      channel modifier = " + std::to_string(modifier8));
                r.log("      channel arrangement = [bl]" +
                      r.tables().MLPChannelNames[assignment8 & 0x1F] + "[/bl]");
                break;
            }
            default:
                break;
            }
        }
    }
}

} // namespace qf
