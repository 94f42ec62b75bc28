// Report of the first AC-3 / E-AC-3 sync frame of an audio stream.
#include <cstdint>
#include <string>

#include "analysers/analysers.h"
#include "analysers/format.h"
#include "analysers/report.h"

namespace qf {

namespace {

constexpr uint32_t kBlocksPerFrame[4] = {1, 2, 3, 6};
constexpr int kChannelsOf[8] = {2, 1, 2, 3, 3, 4, 4, 5}; // by acmod, without LFE

constexpr const char* kArrangement[8] = {
    "dual mono", "mono",          "L + R",           "L + R + C",
    "L + R + S", "L + R + C + S", "L + R + Ls + Rs", "L + R + C + Ls + Rs",
};

// The values of a valid sync frame header.
void values(Report& r, const char* format, int32_t rate, uint32_t bitRate, uint32_t acmod,
            uint32_t lfeon) {
    r.value(key::Format, format);
    r.value(key::SamplingRate, rate);
    r.value(key::BitRate, bitRate);
    r.value(key::ChannelLayout, kArrangement[acmod]);
    r.value(key::Channels, kChannelsOf[acmod] + static_cast<int>(lfeon));
    r.value(key::Lfe, lfeon);
}

} // namespace

void AC3info(Report& r, size_t p, size_t n, int audioIdx) {
    const std::span<const uint8_t> run = runBytes(r, p, n);

    const auto& table = r.tables().AC3RateTable;
    // Bit-rate codes past the table are reserved and count as 0.
    auto bitRateOf = [&](uint32_t code) -> int32_t { return code <= 18 ? table[4 + code] : 0; };

    uint32_t window = 0;
    int countdown = 0;
    bool busy = false; // set from a sync word until a header proves invalid
    uint32_t frmsiz = 0, blocks = 1, acmod = 0, lfeon = 0, bsid = 0, bsmod = 0;
    int32_t rate = 0;
    uint32_t bitRate = 0;

    for (const uint32_t b : run) {
        window = (window << 8) | b;
        if ((window & 0xFFFF) == 0x0B77) {
            if (!busy) {
                countdown = 5;
                busy = true;
            }
            continue;
        }
        if (countdown == 0) continue;
        switch (--countdown) {
        case 4:
            frmsiz = (b & 0x07) << 8;
            break;
        case 3:
            frmsiz |= b;
            break;
        case 2:
            // Read both as AC-3 fscod/frmsizecod and as E-AC-3
            // fscod/numblkscod/acmod/lfeon; bsid decides which counts.
            rate = table[b >> 6];
            bitRate = static_cast<uint32_t>(bitRateOf((b & 0x3F) >> 1));
            blocks = kBlocksPerFrame[(b & 0x30) >> 4];
            acmod = (b & 0x0E) >> 1;
            lfeon = b & 1;
            break;
        case 1:
            bsid = b >> 3;
            bsmod = b & 7;
            break;
        case 0: {
            const std::string stream = "   Stream " + std::to_string(audioIdx);
            const std::string freq = "   Sampling frequency = [bl]" +
                                     kiloHertz(rate, r.decimalSeparator()) + "[/bl] kHz";
            if (bsid > 10 && bsid <= 16) {
                if (rate == 0)
                    busy = false;
                else
                    bitRate = ((750 / blocks) * (frmsiz + 1) * 16) >> 2;
                r.log(stream + " is [b]Dolby Digital Plus[/b]");
                r.log("   frame size = " + std::to_string((frmsiz + 1) * 2) +
                      " bytes, number of blocks per frame = " + std::to_string(blocks));
                r.log(freq);
                r.log("   Transmission bitrate = [bl]" + std::to_string(bitRate / 1000) +
                      "[/bl] kbit/s");
                r.log("   Channel arrangement = [bl]" + std::string(kArrangement[acmod]) +
                      "[/bl], bsid = " + std::to_string(bsid));
                r.log(std::string("   LFE channel = [bl]") +
                      (lfeon == 1 ? "present" : "not present") + "[/bl]");
                if (busy) values(r, "Dolby Digital Plus", rate, bitRate, acmod, lfeon);
            } else {
                acmod = b >> 5;
                // lfeon follows the mix levels and surround mode that acmod calls for.
                const int skipped = ((acmod & 1) && acmod != 1 ? 2 : 0) + (acmod & 4 ? 2 : 0) +
                                    (acmod == 2 ? 2 : 0);
                lfeon = (b >> (4 - skipped)) & 1;
                if (rate == 0 || bitRate == 0) busy = false;
                if (busy) values(r, "Dolby Digital", rate, bitRate, acmod, lfeon);
                r.log(stream + " is [b]Dolby Digital[/b]");
                r.log(freq);
                r.log("   Transmission bitrate = [bl]" + std::to_string(bitRate / 1000) +
                      "[/bl] kbit/s");
                r.log("   Channel arrangement = [bl]" + std::string(kArrangement[acmod]) +
                      "[/bl], bsid = " + std::to_string(bsid) +
                      ", bsmod =" + std::to_string(bsmod));
            }
            break;
        }
        }
    }
}

} // namespace qf
