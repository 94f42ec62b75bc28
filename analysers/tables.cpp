#include "analysers/info.h"
#include "analysers/report.h"

namespace qf {

namespace {

// The 5-bit channel assignment of the DVD-Audio / HD DVD LPCM header and of the MLP major
// sync; codes 21-31 name none.
constexpr const char* kArrangements[21] = {
    "C (mono)",
    "L + R",
    "Lf + Rf + S",
    "Lf + Rf + Ls + Rs",
    "Lf + Rf + LFE",
    "Lf + Rf + LFE + S",
    "Lf + Rf + LFE + Ls + Rs",
    "Lf + Rf + C",
    "Lf + Rf + C + S",
    "Lf + Rf + C + Ls + Rs",
    "Lf + Rf + C + LFE",
    "Lf + Rf + C + LFE + S",
    "Lf + Rf + C + LFE + Ls + Rs",
    "Lf + Rf + C + S",
    "Lf + Rf + C + Ls + Rs",
    "Lf + Rf + C + LFE",
    "Lf + Rf + C + LFE + S",
    "Lf + Rf + C + LFE + Ls + Rs",
    "Lf + Rf + Ls + Rs + LFE",
    "Lf + Rf + Ls + Rs + C",
    "Lf + Rf + Ls + Rs + C + LFE",
};
// The channels of each arrangement, LFE included.
constexpr int kArranged[21] = {1, 2, 3, 4, 3, 4, 5, 3, 4, 5, 4, 5, 6, 4, 5, 4, 5, 6, 5, 5, 6};

} // namespace

const char* channelArrangement(uint8_t code) {
    return code < 21 ? kArrangements[code] : "";
}

std::optional<int> channelsArranged(uint8_t code) {
    return code < 21 ? std::optional<int>(kArranged[code]) : std::nullopt;
}

void NameTables::fill() {
    static constexpr int32_t kRates[23] = {48000,  44100,  32000,  0,      32000,  40000,
                                           48000,  56000,  64000,  80000,  96000,  112000,
                                           128000, 160000, 192000, 224000, 256000, 320000,
                                           384000, 448000, 512000, 576000, 640000};
    for (size_t i = 0; i < AC3RateTable.size(); ++i) AC3RateTable[i] = kRates[i];
}

} // namespace qf
