// Report of DTS core frame headers and of the extension sync words of an audio stream.
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysers/analysers.h"
#include "analysers/bitreader.h"
#include "analysers/report.h"

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

// The decimal commas belong to these texts; they do not follow the locale.
constexpr const char* kFrequency[16] = {"Invalid", "8", "16", "32", "",   "",   "11,025", "22,05",
                                        "44,1",    "",  "",   "12", "24", "48", "",       ""};

constexpr const char* kRate[32] = {
    "32",   "56",   "64",   "96",   "112",  "128",  "192",      "224",
    "256",  "320",  "384",  "448",  "512",  "576",  "640",      "768",
    "960",  "1024", "1152", "1280", "1344", "1408", "1411,2",   "1472",
    "1536", "1920", "2048", "3072", "3840", "open", "Variable", "Loss-less",
};

constexpr const char* kExtension[8] = {
    "Channel extension",
    "Reserved",
    "Frequency extension",
    "Channel and Frequency extension",
    "Reserved",
    "Reserved",
    "Reserved",
    "Reserved",
};

constexpr const char* kLfe[4] = {"not present", "[bl]present[/bl] (IF:128)",
                                 "[bl]present[/bl] (IF:64)", "invalid"};

constexpr const char* kResolution[8] = {
    "[bl]16[/bl] bits",
    "[bl]16[/bl] bits, [bl]DTS ES[/bl]",
    "[bl]20[/bl] bits",
    "[bl]20[/bl] bits, [bl]DTS ES[/bl]",
    "",
    "[bl]24[/bl] bits, [bl]DTS ES[/bl]",
    "[bl]24[/bl] bits",
    "",
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

const char* revisionSuffix(uint32_t vernum) {
    if (vernum < 7) return ", Future rev. (compatible)";
    if (vernum == 7) return ", Current";
    return ", Future rev. (incompatible";
}

// Decodes the core frame header that follows a sync word, writing each field's
// line as soon as the field is read. Stops at the first field that does not lie
// wholly inside the bytes handed in.
void coreHeader(Report& out, DtsBitReader& r) {
    auto field = [&r](int bits, uint32_t& v) {
        if (r.bitsLeft() < bits) return false;
        v = r.BitRead(bits);
        return true;
    };
    auto skip = [&r](int bits) {
        if (r.bitsLeft() < bits) return false;
        r.BitSkip(bits);
        return true;
    };
    const auto dec = [](uint32_t v) { return std::to_string(v); };

    r.BitStart();
    uint32_t v = 0, cpf = 0, extId = 0, amode = 0;
    if (!skip(1)) return; // FTYPE
    if (!field(5, v)) return;
    out.log("   PCM core samples = " + dec(v + 1));
    if (!field(1, cpf)) return;
    if (!field(7, v)) return;
    out.log("   PCM sample blocks = " + dec(v + 1));
    if (!field(14, v)) return;
    out.log("   Primary frame byte size = " + dec(v));
    if (!field(6, amode)) return;
    const char* layout = amode < 16 ? kArrangement[amode] : "User defined";
    out.log(std::string("   Channel arrangement = [bl]") + layout + "[/bl]");
    out.value(key::ChannelLayout, layout);
    if (!field(4, v)) return;
    out.log(std::string("   Sampling frequency = [bl]") + kFrequency[v] + "[/bl] kHz");
    if (kHertz[v] != 0) out.value(key::SamplingRate, kHertz[v]);
    if (!field(5, v)) return;
    out.log(std::string("   Transmission bitrate = [bl]") + kRate[v] + "[/bl] kbit/s");
    if (kKbits[v] != 0) out.value(key::BitRate, kKbits[v] * 1000);
    for (int i = 0; i < 5; ++i) // MIX, DYNF, TIMEF, AUXF, HDCD
        if (!skip(1)) return;
    if (!field(3, extId)) return;
    if (!field(1, v)) return;
    if (v == 1) out.log(std::string("   Extension audio = ") + kExtension[extId]);
    if (!skip(1)) return; // ASPF
    if (!field(2, v)) return;
    out.log(std::string("   LFE channel = ") + kLfe[v]);
    out.value(key::Lfe, v == 1 || v == 2 ? 1 : 0);
    if (amode < 16) out.value(key::Channels, kChannelCount[amode] + (v == 1 || v == 2 ? 1 : 0));
    if (!skip(1)) return; // HFLAG
    if (cpf == 1) {
        if (!field(16, v)) return;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(v));
        out.log(std::string("   Header CRC = ") + hex);
    }
    if (!skip(1)) return; // FILTS
    if (!field(4, v)) return;
    out.log("   Encoder software rev. = " + dec(v) + revisionSuffix(v));
    if (!skip(2)) return; // CHIST
    if (!field(3, v)) return;
    out.log(std::string("   Source PCM resolution = ") + kResolution[v]);
    if (kBits[v] != 0) out.value(key::BitsPerSample, kBits[v]);
}

} // namespace

void DTSinfo(Report& r, size_t p, size_t n, int /*audioIdx*/) {
    const std::span<const uint8_t> block = r.block();
    const size_t end = p + runBytes(r, p, n).size();

    // Sync words are looked for in the run; a header found there is decoded from the
    // bytes that follow it in the block, even past the run, as far as they were read.
    DtsBitReader bits(block.data(), block.size(), p);
    // The last payload byte is never shifted in.
    while (bits.position + 1 < end) {
        bits.window = (bits.window << 8) | block[bits.position];
        ++bits.position;
        if (bits.window == 0x7FFE8001) {
            coreHeader(r, bits);
            // The scan goes on from where the header ended, with the reader's
            // window as its shift register.
        } else if (bits.window == 0x5A5A5A5A) {
            r.log("   Channel extension found");
        } else if (bits.window == 0x1D95F262) {
            r.log("   Frequency extensiond found ([bl]96[/bl] kHz)");
        }
    }
}

} // namespace qf
