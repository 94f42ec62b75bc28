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

std::optional<int> known(int v) {
    return v != 0 ? std::optional<int>(v) : std::nullopt;
}

// The number of channels a channel arrangement names.
int channelsNamed(const std::string& layout) {
    return 1 + static_cast<int>(std::count(layout.begin(), layout.end(), '+'));
}

// A DVD-Video LPCM header keeps its audio fields in one byte, the second after the
// first-access-unit pointer: bits 7-6 word length (16, 20, 24), bits 5-4 sampling rate
// (48, 96 kHz), bits 2-0 the channels less one.
std::string dvdVideoLayout(int channels) {
    return channels == 1   ? std::string("mono")
           : channels == 2 ? std::string("L + R")
                           : std::to_string(channels) + " channels";
}

} // namespace

std::optional<int32_t> LpcmInfo::samplingRate() const {
    if (!found || rate == 15 || (dvdVideo && rate >= 2)) return std::nullopt;
    return known(kHertz[rate & 15]);
}

std::optional<int> LpcmInfo::bitsPerSample() const {
    if (!found) return std::nullopt;
    return known(kBits[wordLength & 15]);
}

std::optional<int> LpcmInfo::channelCount() const {
    if (!found) return std::nullopt;
    if (dvdVideo) return channels + 1;
    if (layout.empty()) return std::nullopt;
    return channelsNamed(layout);
}

// The LPCM payload starts 7 bytes after the sub-stream id; the word length,
// sampling rate and channel assignment sit in that header, before p. DVD-Video lays them
// out otherwise than DVD-Audio and HD DVD.
LpcmInfo parseLpcm(std::span<const uint8_t> buf, size_t p, bool dvdVideo,
                   const NameTables& tables) {
    LpcmInfo info;
    info.dvdVideo = dvdVideo;
    // Below 7 the header lay in the previous block, which is gone.
    if (p < 7 || p > buf.size()) return info;
    info.found = true;
    if (dvdVideo) {
        const uint8_t fields = buf[p - 2];
        info.wordLength = fields >> 6;
        info.rate = (fields >> 4) & 3;
        info.channels = fields & 7;
        info.layout = dvdVideoLayout(info.channels + 1);
    } else {
        info.wordLength = buf[p - 5] >> 4;
        info.rate = buf[p - 4] >> 4;
        info.channels = buf[p - 2] & 0x1F;
        info.layout = tables.ChannelNames[info.channels];
    }
    return info;
}

void describe(Report& r, const LpcmInfo& info) {
    if (!info.found) return;
    const NameTables& names = r.tables();
    if (info.dvdVideo) {
        if (info.wordLength < 3)
            r.log("   Sample size = [bl]" + std::to_string(kBits[info.wordLength]) + "[/bl] bit");
        else
            r.log("   Sample size = reserved");
        if (info.rate < 2)
            r.log("   Sampling frequency = [bl]" + names.RateNames[info.rate] + "[/bl] kHz");
        else
            r.log("   Sampling frequency = reserved");
        r.log("   Channel arrangement = " + info.layout);
        return;
    }
    r.log("   Sample size = [bl]" + names.WordLengthNames[info.wordLength] + "[/bl] bit");
    if (info.rate != 15)
        r.log("   Sampling frequency = [bl]" + names.RateNames[info.rate] + "[/bl] kHz");
    r.log("   Channel arrangement = " + info.layout);
}

void LPCMinfo(Report& r, size_t p, size_t /*n*/, bool dvdVideo) {
    LpcmInfo info = parseLpcm(r.block(), p, dvdVideo, r.tables());
    describe(r, info);
    r.found(std::move(info));
}

std::optional<int> MlpQuantization::bits() const {
    return known(kBits[code & 15]);
}

std::optional<int32_t> MlpRate::hertz() const {
    return known(kHertz[code & 15]);
}

std::optional<int> MlpLayout::channels() const {
    if (name.empty()) return std::nullopt;
    return channelsNamed(name);
}

MlpInfo parseMlp(std::span<const uint8_t> run, const NameTables& tables) {
    MlpInfo info;
    uint32_t window = 0;
    int mlpCountdown = 0, truehdCountdown = 0;
    TrueHdDecoders decoders;
    uint32_t modifier8 = 0;

    // The last payload byte is never examined.
    for (size_t i = 0; i + 1 < run.size(); ++i) {
        const uint32_t b = run[i];
        window = (window << 8) | b;
        if (window == 0xF8726FBA) {
            truehdCountdown = 4;
            info.found.emplace_back(MlpSync{true});
        } else if (window == 0xF8726FBB) {
            mlpCountdown = 4;
            info.found.emplace_back(MlpSync{false});
        } else if (mlpCountdown > 0) {
            switch (--mlpCountdown) {
            case 3:
                info.found.emplace_back(MlpQuantization{static_cast<uint8_t>(b >> 4)});
                break;
            case 2:
                info.found.emplace_back(MlpRate{static_cast<uint8_t>(b >> 4)});
                break;
            case 0: {
                const auto code = static_cast<uint8_t>(b & 0x1F);
                info.found.emplace_back(MlpLayout{code, tables.ChannelNames[code]});
                break;
            }
            default:
                break;
            }
        } else if (truehdCountdown > 0) {
            switch (--truehdCountdown) {
            case 3:
                info.found.emplace_back(MlpRate{static_cast<uint8_t>(b >> 4)});
                break;
            case 2:
                decoders.modifier2 = b >> 6;
                decoders.modifier6 = (b >> 4) & 3;
                decoders.assignment6 = (b & 0x0F) * 2;
                break;
            case 1:
                decoders.assignment6 += b >> 7;
                modifier8 = (b >> 5) & 3;
                info.found.emplace_back(decoders);
                break;
            case 0:
                info.found.emplace_back(TrueHdEightChannels{modifier8, window & 0x1FFF});
                break;
            default:
                break;
            }
        }
    }
    return info;
}

void describe(Report& r, const MlpInfo& info) {
    const NameTables& names = r.tables();
    for (const auto& item : info.found) {
        if (const auto* sync = std::get_if<MlpSync>(&item)) {
            r.log(sync->trueHd ? "   [b]TrueHD[/b] stream (up to 8 channels)"
                               : "   [b]Standard MLP[/b] stream (up to 6 channels) ");
        } else if (const auto* q = std::get_if<MlpQuantization>(&item)) {
            r.log("   Quantization length = [bl]" + names.WordLengthNames[q->code] + "[/bl] bits");
        } else if (const auto* rate = std::get_if<MlpRate>(&item)) {
            r.log("   Sampling frequency = [bl]" + names.RateNames[rate->code] + "[/bl] kHz");
        } else if (const auto* layout = std::get_if<MlpLayout>(&item)) {
            r.log("   Channel arrangement = [bl]" + layout->name + "[/bl]");
        } else if (const auto* d = std::get_if<TrueHdDecoders>(&item)) {
            r.log("   2 ch. decoder");
            r.log("      channel modifier = " + std::to_string(d->modifier2));
            r.log("   6 ch. decoder");
            r.log("      channel modifier = " + std::to_string(d->modifier6));
            r.log("      channel arrangement = [bl]" + names.MLPChannelNames[d->assignment6] +
                  "[/bl]");
        } else if (const auto* e = std::get_if<TrueHdEightChannels>(&item)) {
            r.log("   8 ch. decoder");
            r.log("      channel modifier = " + std::to_string(e->modifier));
            r.log("      channel arrangement = [bl]" + names.MLPChannelNames[e->assignment & 0x1F] +
                  "[/bl]");
        }
    }
}

void MLPinfo(Report& r, size_t p, size_t n) {
    MlpInfo info = parseMlp(runBytes(r, p, n), r.tables());
    describe(r, info);
    r.found(std::move(info));
}

} // namespace qf
