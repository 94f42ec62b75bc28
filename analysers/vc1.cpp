#include <cmath>
#include <cstdio>
#include <string>

#include "analysers/analysers.h"
#include "analysers/format.h"
#include "analysers/report.h"

namespace qf {

namespace {

constexpr uint32_t kFrameStart = 0x0000010D;
constexpr uint32_t kSequenceHeader = 0x0000010F;

const char* aspectText(int code) {
    static const char* const texts[16] = {
        "unspecified",
        "[bl]1:1[/bl] (square samples)",
        "[bl]12:11[/bl] (704x576 4:3)",
        "[bl]10:11[/bl] (704x480 4:3)",
        "[bl]16:11[/bl] (704x576 16:9)",
        "[bl]40:33[/bl] (704x480 16:9)",
        "[bl]24:11[/bl] (352x576 4:3)",
        "[bl]20:11[/bl] (352x480 4:3)",
        "[bl]32:11[/bl] (352x576 16:9)",
        "[bl]80:33[/bl] (352x480 16:9)",
        "[bl]18:11[/bl] (48$576 4:3)",
        "[bl]15:11[/bl] (48$480 4:3)",
        "[bl]64:33[/bl] (528x576 16:9)",
        "[bl]160:99[/bl] (528x480 16:9)",
        "Reserved",
        "", // 15: the ratio is coded explicitly, which is not shown
    };
    return texts[code & 0x0F];
}

// The sample aspect ratio by its code; nullptr for unspecified, reserved and explicit.
const char* sampleAspect(int code) {
    static constexpr const char* kRatios[14] = {nullptr, "1:1",   "12:11", "10:11", "16:11",
                                                "40:33", "24:11", "20:11", "32:11", "80:33",
                                                "18:11", "15:11", "64:33", "160:99"};
    return code < 14 ? kRatios[code] : nullptr;
}

int frameRateNumerator(uint32_t code) {
    static const int values[8] = {0, 24000, 25000, 30000, 50000, 60000, 48000, 72000};
    return code < 8 ? values[code] : 0;
}

} // namespace

// Advanced-profile sequence header and display extension of a VC-1 payload, how many
// frames precede it and the first PTS. Once a frame rate has been shown, further
// sequence headers are passed over.
void VC1info(Report& r, size_t p, size_t n, uint32_t, int64_t pts) {
    const std::span<const uint8_t> run = runBytes(r, p, n);
    const uint8_t* data = run.data();
    n = run.size();
    const char sep = r.decimalSeparator();

    uint32_t window = 0;
    int framesCounted = 0;
    bool firstHeaderSeen = false;
    bool reported = false;
    int headerCountdown = 0;
    int displayCountdown = 0;
    int aspectPending = 0;
    int rateCountdown = 0;
    int frameCountdown = 0;
    int ptsCountdown = 0;

    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        window = (window << 8) | b;
        if (window == kFrameStart) {
            ++framesCounted;
            if (firstHeaderSeen) frameCountdown = 4;
        } else if (frameCountdown > 0) {
            if (--frameCountdown == 0 && ptsCountdown > 0 && --ptsCountdown == 0) {
                char hex[17];
                std::snprintf(hex, sizeof hex, "%016llX",
                              static_cast<unsigned long long>(static_cast<uint64_t>(pts)));
                r.log(std::string("   First Video PTS = ") + hex);
            }
        } else if (window == kSequenceHeader) {
            if (!reported) {
                r.log("   Sequence Header found");
                headerCountdown = 6;
            }
            if (!firstHeaderSeen) {
                r.log("   " + std::to_string(framesCounted) + " frames before first I-frame");
                firstHeaderSeen = true;
                ptsCountdown = 2;
            }
        } else if (headerCountdown > 0) {
            --headerCountdown;
            if (reported) continue;
            switch (headerCountdown) {
            case 5: { // PROFILE (2), LEVEL (3), COLORDIFF_FORMAT (2)
                r.log((b >> 6) == 3 ? "   Advanced Profile" : "   Reserved Profile");
                r.value(key::Profile, (b >> 6) == 3 ? "Advanced" : "Reserved");
                const int level = (b & 0x38) >> 3;
                if (level > 4)
                    r.log("   Level = Reserved");
                else
                    r.log("   Level = " + std::to_string(level));
                r.value(key::Level, level > 4 ? "Reserved" : std::to_string(level));
                r.log(((b & 0x06) >> 1) == 1 ? "   Chroma Format = 4:2:0"
                                             : "   Chroma Format = Reserved");
                break;
            }
            case 1: { // MAX_CODED_WIDTH (12), MAX_CODED_HEIGHT (12), in units of 2 pixels
                const uint32_t width = (window >> 12) & 0xFFF;
                const uint32_t height = window & 0xFFF;
                r.value(key::Width, 2 * width + 2);
                r.value(key::Height, 2 * height + 2);
                r.log("   Size = [bl]" + std::to_string(2 * width + 2) + "[/bl]x[bl]" +
                      std::to_string(2 * height + 2) + "[/bl]");
                break;
            }
            case 0: // PULLDOWN, INTERLACE, ..., DISPLAY_EXT
                r.log("   Pulldown = " + std::to_string((b >> 7) & 1));
                r.log("   Interlace = " + std::to_string((b >> 6) & 1));
                if (b & 0x02) displayCountdown = 4;
                break;
            default:
                break;
            }
        } else if (displayCountdown > 0) {
            --displayCountdown;
            if (reported) continue;
            if (displayCountdown == 2) { // DISP_HORIZ_SIZE − 1 (14 bits)
                r.log("   Display Horizontal size = " +
                      std::to_string(((window & 0x1FFF8) >> 3) + 1));
            } else if (displayCountdown == 0) {
                // DISP_VERT_SIZE − 1 (14 bits), ASPECT_RATIO_FLAG, ASPECT_RATIO (4 bits)
                r.log("   Display Vertical size = " +
                      std::to_string(((window & 0x7FFE0) >> 5) + 1));
                if (b & 0x10) {
                    r.log(std::string("   Aspect ratio = ") + aspectText(b & 0x0F));
                    if (const char* ratio = sampleAspect(b & 0x0F))
                        r.value(key::SampleAspect, ratio);
                    aspectPending = 1;
                }
            }
        } else if (aspectPending > 0) {
            aspectPending = 0;
            if (!reported && (b & 0x80)) rateCountdown = 2; // FRAMERATE_FLAG
        } else if (rateCountdown > 0) {
            if (--rateCountdown > 0 || reported) continue;
            if (window & (1u << 22)) { // FRAMERATEIND: rate in 1/32 fps steps
                const uint32_t exp = (window >> 6) & 0xFFFF;
                r.log("   Frame Rate =" + generalDecimal((exp + 1) / 32.0, sep));
                r.value(key::FrameRate, (exp + 1) / 32.0);
            } else {
                const uint32_t nrCode = (window >> 14) & 0xFF;
                const uint32_t drCode = (window >> 10) & 0x0F;
                int numerator = 0, denominator = 0;
                if (nrCode == 0)
                    r.log("   Forbidden Frame Rate!");
                else if (nrCode >= 8)
                    r.log("   Reserved Frame Rate!");
                else
                    numerator = frameRateNumerator(nrCode);
                if (drCode == 0)
                    r.log("   Forbidden Frame Rate!");
                else if (drCode >= 3)
                    r.log("   Reserved Frame Rate!");
                else
                    denominator = drCode == 1 ? 1000 : 1001;
                // A code without a value shows a rate of 0 rather than dividing by zero.
                double rate = 0;
                if (numerator != 0 && denominator != 0)
                    rate =
                        std::nearbyint(static_cast<double>(numerator) / denominator * 1000) / 1000;
                r.log("   Frame Rate = [bl]" + generalDecimal(rate, sep) + "[/bl] (" +
                      std::to_string(numerator) + "/" + std::to_string(denominator) + ")");
                if (rate != 0)
                    r.value(key::FrameRate, static_cast<double>(numerator) / denominator);
            }
            reported = true;
        }
    }
}

} // namespace qf
