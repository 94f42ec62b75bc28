// The first MPEG audio frame header of an MPEG audio stream (PES ids C0-CF).
#include <cstdint>
#include <string>

#include "analysers/analysers.h"

namespace qf {

namespace {

// Bit rates in kbit/s by bit-rate index 1-14: MPEG-1 layers I, II, III, then MPEG-2 and
// MPEG-2.5 layer I, and layers II and III.
constexpr uint16_t kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

// Sampling frequencies in Hz by sampling index, for MPEG-1; MPEG-2 halves them and
// MPEG-2.5 quarters them.
constexpr int32_t kSamplingHz[3] = {44100, 48000, 32000};

constexpr const char* kLayers[4] = {"", "III", "II", "I"};
constexpr const char* kVersions[4] = {"MPEG-2.5", "", "MPEG-2", "MPEG-1"};
constexpr const char* kModes[4] = {"stereo", "joint stereo", "dual channel", "mono"};

} // namespace

std::string MpaHeader::format() const {
    return std::string(kVersions[version & 3]) + " Layer " + kLayers[layer & 3];
}

const char* MpaHeader::modeName() const {
    return kModes[mode & 3];
}

MpaInfo parseMpa(std::span<const uint8_t> run) {
    MpaInfo info;
    for (size_t i = 0; i + 4 <= run.size(); ++i) {
        // 12 sync bits, or 11 followed by the 0 of MPEG-2.5.
        if (run[i] != 0xFF || (run[i + 1] & 0xE0) != 0xE0) continue;
        const uint32_t h = static_cast<uint32_t>(run[i]) << 24 |
                           static_cast<uint32_t>(run[i + 1]) << 16 |
                           static_cast<uint32_t>(run[i + 2]) << 8 | run[i + 3];
        const uint32_t version = (h >> 19) & 3, layer = (h >> 17) & 3;
        const uint32_t rateIndex = (h >> 12) & 15, samplingIndex = (h >> 10) & 3;
        if (version == 1 || layer == 0 || rateIndex == 15 || samplingIndex == 3) continue;

        const bool mpeg1 = version == 3;
        const size_t table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
        MpaHeader& m = info.header.emplace();
        m.version = version;
        m.layer = layer;
        m.mode = (h >> 6) & 3;
        m.samplingRate = kSamplingHz[samplingIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
        m.kbits = kBitRates[table][rateIndex];
        break;
    }
    return info;
}

} // namespace qf
