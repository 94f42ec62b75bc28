// LPCM streams (from the private header) and MLP / TrueHD major syncs.
#include <cstdint>
#include <string>

#include "analysers/analysers.h"

namespace qf {

namespace {

// Hz by the 4-bit sampling-frequency code, and bits by the word-length code; 0 where the
// code names none.
constexpr int kHertz[16] = {48000, 96000, 192000, 0, 0, 0, 0, 0, 44100, 88200, 176400};
constexpr int kBits[16] = {16, 20, 24};

std::optional<int> known(int v) {
    return v != 0 ? std::optional<int>(v) : std::nullopt;
}

} // namespace

std::string LpcmInfo::layout() const {
    if (!dvdVideo) return channelArrangement(channels);
    const int count = channels + 1;
    return count == 1   ? std::string("mono")
           : count == 2 ? std::string("L + R")
                        : std::to_string(count) + " channels";
}

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
    return channelsArranged(channels);
}

// The LPCM payload starts 7 bytes after the sub-stream id; the word length,
// sampling rate and channel assignment sit in that header, before p. DVD-Video lays them
// out otherwise than DVD-Audio and HD DVD: in one byte, the second after the
// first-access-unit pointer (bits 7-6 word length, 5-4 sampling rate, 2-0 the channels
// less one).
LpcmInfo parseLpcm(std::span<const uint8_t> buf, size_t p, bool dvdVideo) {
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
    } else {
        info.wordLength = buf[p - 5] >> 4;
        info.wordLength2 = buf[p - 5] & 15;
        info.rate = buf[p - 4] >> 4;
        info.rate2 = buf[p - 4] & 15;
        info.channels = buf[p - 2] & 0x1F;
    }
    return info;
}

std::optional<int> LpcmInfo::group2Bits() const {
    if (!found || dvdVideo) return std::nullopt;
    return known(kBits[wordLength2 & 15]);
}

std::optional<int32_t> LpcmInfo::group2Rate() const {
    if (!found || dvdVideo) return std::nullopt;
    return known(kHertz[rate2 & 15]);
}

std::optional<int> MlpQuantization::bits() const {
    return known(kBits[code & 15]);
}

std::optional<int32_t> MlpRate::hertz() const {
    return known(kHertz[code & 15]);
}

MlpInfo parseMlp(std::span<const uint8_t> run) {
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
            case 0:
                info.found.emplace_back(MlpLayout{static_cast<uint8_t>(b & 0x1F)});
                break;
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

} // namespace qf
