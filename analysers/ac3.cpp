// The first AC-3 / E-AC-3 sync frames of an audio stream.
#include <cstdint>

#include "analysers/analysers.h"
#include "analysers/report.h"

namespace qf {

namespace {

constexpr uint32_t kBlocksPerFrame[4] = {1, 2, 3, 6};
constexpr int kChannelsOf[8] = {2, 1, 2, 3, 3, 4, 4, 5}; // by acmod, without LFE

constexpr const char* kArrangement[8] = {
    "dual mono", "mono",          "L + R",           "L + R + C",
    "L + R + S", "L + R + C + S", "L + R + Ls + Rs", "L + R + C + Ls + Rs",
};

} // namespace

const char* Ac3Frame::layout() const {
    return kArrangement[acmod & 7];
}

int Ac3Frame::channels() const {
    return kChannelsOf[acmod & 7] + (lfe ? 1 : 0);
}

const Ac3Frame* Ac3Info::stream() const {
    for (const Ac3Frame& f : frames)
        if (f.valid) return &f;
    return nullptr;
}

// A sync word starts a header unless one is being read or a valid one was found; an
// invalid header lets the next sync word start another.
Ac3Info parseAc3(std::span<const uint8_t> run, const NameTables& tables) {
    const auto& table = tables.AC3RateTable;
    // Bit-rate codes past the table are reserved and count as 0.
    auto bitRateOf = [&](uint32_t code) -> int32_t { return code <= 18 ? table[4 + code] : 0; };

    Ac3Info info;
    uint32_t window = 0;
    int countdown = 0;
    bool busy = false; // set from a sync word until a header proves invalid
    uint32_t frmsiz = 0;
    Ac3Frame f;

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
            f.samplingRate = table[b >> 6];
            f.bitRate = static_cast<uint32_t>(bitRateOf((b & 0x3F) >> 1));
            f.blocks = kBlocksPerFrame[(b & 0x30) >> 4];
            f.acmod = (b & 0x0E) >> 1;
            f.lfe = (b & 1) != 0;
            break;
        case 1:
            f.bsid = b >> 3;
            f.bsmod = b & 7;
            break;
        case 0:
            f.frameBytes = (frmsiz + 1) * 2;
            if (f.plus()) {
                if (f.samplingRate == 0)
                    busy = false;
                else
                    f.bitRate = ((750 / f.blocks) * (frmsiz + 1) * 16) >> 2;
            } else {
                f.acmod = b >> 5;
                // lfeon follows the mix levels and surround mode that acmod calls for.
                const int skipped = ((f.acmod & 1) && f.acmod != 1 ? 2 : 0) +
                                    (f.acmod & 4 ? 2 : 0) + (f.acmod == 2 ? 2 : 0);
                f.lfe = ((b >> (4 - skipped)) & 1) != 0;
                if (f.samplingRate == 0 || f.bitRate == 0) busy = false;
            }
            f.valid = busy;
            info.frames.push_back(f);
            break;
        }
    }
    return info;
}

} // namespace qf
