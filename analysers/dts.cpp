// DTS core frame headers and the extension sync words of an audio stream.
#include <cstdint>

#include "analysers/analysers.h"
#include "analysers/bitreader.h"

namespace qf {

namespace {

constexpr const char* kArrangement[16] = {
    "A (mono)",
    "A+B (dual mono)",
    "L + R (stereo)",
    "(L+R) + (L-R) (sum-difference)",
    "LT + RT (left and right total)",
    "C + L + R",
    "L + R + S",
    "C + L + R + S",
    "L + R + Ls + Rs",
    "C + L + R + Ls + Rs",
    "CL + CR + L + R + Ls + Rs",
    "C + L + R + Lr + Rr + OV",
    "Cf + Cr + Lf + Rf + Lr + Rr",
    "CL + C + CR + L + R + Ls + Rs",
    "CL + CR + L + R + Ls1 + Ls2 + Rs1 + Rs2",
    "CL + C + CR + L + R + Ls + S + Rs",
};

// The same tables as values: channels by AMODE (without LFE), Hz by SFREQ, kbit/s by RATE
// (0 where the code names no rate) and bits by PCMR.
constexpr int kChannelCount[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
constexpr int kHertz[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                            44100, 0,    0,     12000, 24000, 48000, 0,     0};
constexpr double kKbits[32] = {32,     56,   64,   96,   112,  128,  192,  224,  256,  320,  384,
                               448,    512,  576,  640,  768,  960,  1024, 1152, 1280, 1344, 1408,
                               1411.2, 1472, 1536, 1920, 2048, 3072, 3840, 0,    0,    0};
constexpr int kBits[8] = {16, 16, 20, 20, 0, 24, 24, 0};

// Decodes the core frame header that follows a sync word. Stops at the first field that
// does not lie wholly inside the bytes handed in.
DtsCore coreHeader(DtsBitReader& r) {
    DtsCore core;
    auto field = [&r](int bits, std::optional<uint32_t>& v) {
        if (r.bitsLeft() < bits) return false;
        v = r.BitRead(bits);
        return true;
    };
    auto skip = [&r](int bits) {
        if (r.bitsLeft() < bits) return false;
        r.BitSkip(bits);
        return true;
    };

    r.BitStart();
    std::optional<uint32_t> cpf, extId, extAudio, crc;
    if (!skip(1)) return core; // FTYPE
    if (!field(5, core.samples)) return core;
    if (!field(1, cpf)) return core;
    if (!field(7, core.blocks)) return core;
    if (!field(14, core.frameBytes)) return core;
    if (!field(6, core.amode)) return core;
    if (!field(4, core.sfreq)) return core;
    if (!field(5, core.rate)) return core;
    for (int i = 0; i < 5; ++i) // MIX, DYNF, TIMEF, AUXF, HDCD
        if (!skip(1)) return core;
    if (!field(3, extId)) return core;
    if (!field(1, extAudio)) return core;
    if (*extAudio == 1) core.extension = extId;
    if (!skip(1)) return core; // ASPF
    if (!field(2, core.lff)) return core;
    if (!skip(1)) return core; // HFLAG
    if (*cpf == 1) {
        if (!field(16, crc)) return core;
        core.crc = static_cast<uint16_t>(*crc);
    }
    if (!skip(1)) return core; // FILTS
    if (!field(4, core.vernum)) return core;
    if (!skip(2)) return core; // CHIST
    field(3, core.pcmr);
    return core;
}

} // namespace

const char* DtsCore::layout() const {
    if (!amode) return nullptr;
    return *amode < 16 ? kArrangement[*amode] : "User defined";
}

std::optional<int32_t> DtsCore::samplingRate() const {
    if (!sfreq || kHertz[*sfreq] == 0) return std::nullopt;
    return kHertz[*sfreq];
}

std::optional<double> DtsCore::bitRate() const {
    if (!rate || kKbits[*rate] == 0) return std::nullopt;
    return kKbits[*rate] * 1000;
}

std::optional<bool> DtsCore::lfe() const {
    if (!lff) return std::nullopt;
    return *lff == 1 || *lff == 2;
}

std::optional<int> DtsCore::channels() const {
    if (!lff || *amode >= 16) return std::nullopt;
    return kChannelCount[*amode] + (*lfe() ? 1 : 0);
}

std::optional<int> DtsCore::bitsPerSample() const {
    if (!pcmr || kBits[*pcmr] == 0) return std::nullopt;
    return kBits[*pcmr];
}

DtsInfo parseDts(std::span<const uint8_t> block, size_t p, size_t end) {
    DtsInfo info;
    // Sync words are looked for in the run; a header found there is decoded from the
    // bytes that follow it in the block, even past the run, as far as they were read.
    DtsBitReader bits(block.data(), block.size(), p);
    // The last payload byte is never shifted in.
    while (bits.position + 1 < end) {
        bits.window = (bits.window << 8) | block[bits.position];
        ++bits.position;
        if (bits.window == 0x7FFE8001) {
            info.found.emplace_back(coreHeader(bits));
            // The scan goes on from where the header ended, with the reader's
            // window as its shift register.
        } else if (bits.window == 0x5A5A5A5A) {
            info.found.emplace_back(DtsSync::ChannelExtension);
        } else if (bits.window == 0x1D95F262) {
            info.found.emplace_back(DtsSync::FrequencyExtension);
        }
    }
    return info;
}

} // namespace qf
