// The report lines of the audio analysers' results.
#include <cstdio>
#include <string>

#include "engine/describe.h"
#include "engine/numbers.h"

namespace qf {

namespace {

// DTS ---------------------------------------------------------------------------------

// The decimal commas belong to these texts; they do not follow the locale.
constexpr const char* kFrequency[16] = {"Invalid", "8", "16", "32", "",   "",   "11,025", "22,05",
                                        "44,1",    "",  "",   "12", "24", "48", "",       ""};

constexpr const char* kDtsRate[32] = {
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

const char* revisionSuffix(uint32_t vernum) {
    if (vernum < 7) return ", Future rev. (compatible)";
    if (vernum == 7) return ", Current";
    return ", Future rev. (incompatible";
}

void describeCore(ReportLines& out, const DtsCore& c) {
    const auto dec = [](uint32_t v) { return std::to_string(v); };
    if (!c.samples) return;
    out.push_back("   PCM core samples = " + dec(*c.samples + 1));
    if (!c.blocks) return;
    out.push_back("   PCM sample blocks = " + dec(*c.blocks + 1));
    if (!c.frameBytes) return;
    out.push_back("   Primary frame byte size = " + dec(*c.frameBytes));
    if (!c.amode) return;
    out.push_back(std::string("   Channel arrangement = [bl]") + c.layout() + "[/bl]");
    if (!c.sfreq) return;
    out.push_back(std::string("   Sampling frequency = [bl]") + kFrequency[*c.sfreq] + "[/bl] kHz");
    if (!c.rate) return;
    out.push_back(std::string("   Transmission bitrate = [bl]") + kDtsRate[*c.rate] +
                  "[/bl] kbit/s");
    if (c.extension) out.push_back(std::string("   Extension audio = ") + kExtension[*c.extension]);
    if (!c.lff) return;
    out.push_back(std::string("   LFE channel = ") + kLfe[*c.lff]);
    if (c.crc) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(*c.crc));
        out.push_back(std::string("   Header CRC = ") + hex);
    }
    if (!c.vernum) return;
    out.push_back("   Encoder software rev. = " + dec(*c.vernum) + revisionSuffix(*c.vernum));
    if (!c.pcmr) return;
    out.push_back(std::string("   Source PCM resolution = ") + kResolution[*c.pcmr]);
}

// LPCM and MLP ------------------------------------------------------------------------

// The texts of the word-length and sampling-frequency codes; "" where a code names none.
// The rates keep their decimal point whatever the locale.
constexpr const char* kWordLength[16] = {"16", "20", "24", "", "", "", "", "",
                                         "",   "",   "",   "", "", "", "", ""};
constexpr const char* kRate[16] = {"48",   "96",   "192",   "", "", "", "", "",
                                   "44.1", "88.2", "176.4", "", "", "", "", ""};
// DVD-Video's word-length codes.
constexpr int kDvdVideoBits[3] = {16, 20, 24};

// A TrueHD decoder's channel assignment: named only for 5.1.
std::string trueHdArrangement(uint32_t code) {
    if (code == 15) return "Lf + Rf + Ls + Rs + C + LFE";
    return code <= 21 ? "???" + std::to_string(code) : std::string();
}

} // namespace

ReportLines describe(const Ac3Info& info, const Wording& w) {
    ReportLines out;
    for (const Ac3Frame& f : info.frames) {
        const std::string stream = "   Stream " + std::to_string(w.audioSlot);
        const std::string freq = "   Sampling frequency = [bl]" +
                                 kiloHertz(f.samplingRate, w.decimalSeparator) + "[/bl] kHz";
        const std::string rate =
            "   Transmission bitrate = [bl]" + std::to_string(f.bitRate / 1000) + "[/bl] kbit/s";
        const std::string layout = "   Channel arrangement = [bl]" + std::string(f.layout()) +
                                   "[/bl], bsid = " + std::to_string(f.bsid);
        if (f.plus()) {
            out.push_back(stream + " is [b]Dolby Digital Plus[/b]");
            out.push_back("   frame size = " + std::to_string(f.frameBytes) +
                          " bytes, number of blocks per frame = " + std::to_string(f.blocks));
            out.push_back(freq);
            out.push_back(rate);
            out.push_back(layout);
            out.push_back(std::string("   LFE channel = [bl]") +
                          (f.lfe ? "present" : "not present") + "[/bl]");
        } else {
            out.push_back(stream + " is [b]Dolby Digital[/b]");
            out.push_back(freq);
            out.push_back(rate);
            out.push_back(layout + ", bsmod =" + std::to_string(f.bsmod));
        }
    }
    return out;
}

ReportLines describe(const DtsInfo& info, const Wording&) {
    ReportLines out;
    for (const auto& item : info.found) {
        if (const auto* core = std::get_if<DtsCore>(&item))
            describeCore(out, *core);
        else if (std::get<DtsSync>(item) == DtsSync::ChannelExtension)
            out.push_back("   Channel extension found");
        else
            out.push_back("   Frequency extensiond found ([bl]96[/bl] kHz)");
    }
    return out;
}

ReportLines describe(const LpcmInfo& info, const Wording&) {
    if (!info.found) return {};
    ReportLines out;
    if (info.dvdVideo) {
        if (info.wordLength < 3)
            out.push_back("   Sample size = [bl]" + std::to_string(kDvdVideoBits[info.wordLength]) +
                          "[/bl] bit");
        else
            out.push_back("   Sample size = reserved");
        if (info.rate < 2)
            out.push_back(std::string("   Sampling frequency = [bl]") + kRate[info.rate] +
                          "[/bl] kHz");
        else
            out.push_back("   Sampling frequency = reserved");
    } else {
        out.push_back(std::string("   Sample size = [bl]") + kWordLength[info.wordLength & 15] +
                      "[/bl] bit");
        if (info.rate != 15)
            out.push_back(std::string("   Sampling frequency = [bl]") + kRate[info.rate & 15] +
                          "[/bl] kHz");
    }
    out.push_back("   Channel arrangement = " + info.layout());
    return out;
}

ReportLines describe(const MlpInfo& info, const Wording&) {
    ReportLines out;
    for (const auto& item : info.found) {
        if (const auto* sync = std::get_if<MlpSync>(&item)) {
            out.push_back(sync->trueHd ? "   [b]TrueHD[/b] stream (up to 8 channels)"
                                       : "   [b]Standard MLP[/b] stream (up to 6 channels) ");
        } else if (const auto* q = std::get_if<MlpQuantization>(&item)) {
            out.push_back(std::string("   Quantization length = [bl]") + kWordLength[q->code & 15] +
                          "[/bl] bits");
        } else if (const auto* rate = std::get_if<MlpRate>(&item)) {
            out.push_back(std::string("   Sampling frequency = [bl]") + kRate[rate->code & 15] +
                          "[/bl] kHz");
        } else if (const auto* layout = std::get_if<MlpLayout>(&item)) {
            out.push_back(std::string("   Channel arrangement = [bl]") + layout->name() + "[/bl]");
        } else if (const auto* d = std::get_if<TrueHdDecoders>(&item)) {
            out.push_back("   2 ch. decoder");
            out.push_back("      channel modifier = " + std::to_string(d->modifier2));
            out.push_back("   6 ch. decoder");
            out.push_back("      channel modifier = " + std::to_string(d->modifier6));
            out.push_back("      channel arrangement = [bl]" + trueHdArrangement(d->assignment6) +
                          "[/bl]");
        } else if (const auto* e = std::get_if<TrueHdEightChannels>(&item)) {
            out.push_back("   8 ch. decoder");
            out.push_back("      channel modifier = " + std::to_string(e->modifier));
            out.push_back("      channel arrangement = [bl]" +
                          trueHdArrangement(e->assignment & 0x1F) + "[/bl]");
        }
    }
    return out;
}

ReportLines describe(const MpaInfo& info, const Wording& w) {
    if (!info.header) return {};
    const MpaHeader& m = *info.header;
    ReportLines out;
    out.push_back("   " + m.format());
    out.push_back("   Sampling frequency = [bl]" + kiloHertz(m.samplingRate, w.decimalSeparator) +
                  "[/bl] kHz");
    if (m.kbits == 0)
        out.push_back("   Transmission bitrate = free format");
    else
        out.push_back("   Transmission bitrate = [bl]" + std::to_string(m.kbits) + "[/bl] kbit/s");
    out.push_back(std::string("   Channel mode = [bl]") + m.modeName() + "[/bl]");
    return out;
}

} // namespace qf
