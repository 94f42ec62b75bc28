#include "analysers/report.h"

namespace qf {

void NameTables::fill() {
    static constexpr int32_t kRates[23] = {48000,  44100,  32000,  0,      32000,  40000,
                                           48000,  56000,  64000,  80000,  96000,  112000,
                                           128000, 160000, 192000, 224000, 256000, 320000,
                                           384000, 448000, 512000, 576000, 640000};
    for (size_t i = 0; i < AC3RateTable.size(); ++i) AC3RateTable[i] = kRates[i];

    static const char* const kChannels[21] = {
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
    for (size_t i = 0; i < ChannelNames.size(); ++i) ChannelNames[i] = i < 21 ? kChannels[i] : "";

    for (size_t i = 0; i < MLPChannelNames.size(); ++i) {
        if (i == 15)
            MLPChannelNames[i] = "Lf + Rf + Ls + Rs + C + LFE";
        else if (i <= 21)
            MLPChannelNames[i] = "???" + std::to_string(i);
        else
            MLPChannelNames[i].clear();
    }

    WordLengthNames = {"16", "20", "24"};
    RateNames = {};
    RateNames[0] = "48";
    RateNames[1] = "96";
    RateNames[2] = "192";
    RateNames[8] = "44.1";
    RateNames[9] = "88.2";
    RateNames[10] = "176.4";
}

} // namespace qf
