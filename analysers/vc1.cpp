#include <string>

#include "analysers/analysers.h"

namespace qf {

namespace {

constexpr uint32_t kFrameStart = 0x0000010D;
constexpr uint32_t kSequenceHeader = 0x0000010F;

int frameRateNumerator(uint32_t code) {
    static const int values[8] = {0, 24000, 25000, 30000, 50000, 60000, 48000, 72000};
    return code < 8 ? values[code] : 0;
}

} // namespace

const char* vc1SampleAspect(uint8_t code) {
    static constexpr const char* kRatios[14] = {nullptr, "1:1",   "12:11", "10:11", "16:11",
                                                "40:33", "24:11", "20:11", "32:11", "80:33",
                                                "18:11", "15:11", "64:33", "160:99"};
    return code < 14 ? kRatios[code] : nullptr;
}

std::string Vc1ProfileLevel::levelName() const {
    return level() > 4 ? std::string("Reserved") : std::to_string(level());
}

int Vc1FrameRateCodes::numerator() const {
    return nr == 0 || nr >= 8 ? 0 : frameRateNumerator(nr);
}

int Vc1FrameRateCodes::denominator() const {
    return dr == 0 || dr >= 3 ? 0 : dr == 1 ? 1000 : 1001;
}

double Vc1FrameRateCodes::fps() const {
    const int num = numerator(), den = denominator();
    return num != 0 && den != 0 ? static_cast<double>(num) / den : 0;
}

std::optional<uint32_t> Vc1Info::width() const {
    return firstOf<Vc1Size>(*this, [](const Vc1Size& s) { return std::optional(s.width); });
}

std::optional<uint32_t> Vc1Info::height() const {
    return firstOf<Vc1Size>(*this, [](const Vc1Size& s) { return std::optional(s.height); });
}

std::optional<double> Vc1Info::frameRate() const {
    for (const auto& item : found) {
        if (const auto* ind = std::get_if<Vc1FrameRateInd>(&item)) return ind->fps();
        if (const auto* codes = std::get_if<Vc1FrameRateCodes>(&item))
            if (codes->fps() != 0) return codes->fps();
    }
    return std::nullopt;
}

// Advanced-profile sequence header and display extension of a VC-1 payload, how many
// frames precede it and the first PTS. Once a frame rate has been read, further
// sequence headers are passed over.
Vc1Info parseVc1(std::span<const uint8_t> run, int64_t pts) {
    Vc1Info info;
    auto& found = info.found;
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

    for (const uint8_t b : run) {
        window = (window << 8) | b;
        if (window == kFrameStart) {
            ++framesCounted;
            if (firstHeaderSeen) frameCountdown = 4;
        } else if (frameCountdown > 0) {
            if (--frameCountdown == 0 && ptsCountdown > 0 && --ptsCountdown == 0)
                found.emplace_back(Vc1FirstPts{pts});
        } else if (window == kSequenceHeader) {
            if (!reported) {
                found.emplace_back(Vc1SequenceFound{});
                headerCountdown = 6;
            }
            if (!firstHeaderSeen) {
                found.emplace_back(Vc1FramesBefore{framesCounted});
                firstHeaderSeen = true;
                ptsCountdown = 2;
            }
        } else if (headerCountdown > 0) {
            --headerCountdown;
            if (reported) continue;
            switch (headerCountdown) {
            case 5: // PROFILE (2), LEVEL (3), COLORDIFF_FORMAT (2)
                found.emplace_back(Vc1ProfileLevel{b});
                break;
            case 1: // MAX_CODED_WIDTH (12), MAX_CODED_HEIGHT (12), in units of 2 pixels
                found.emplace_back(
                    Vc1Size{2 * ((window >> 12) & 0xFFF) + 2, 2 * (window & 0xFFF) + 2});
                break;
            case 0: // PULLDOWN, INTERLACE, ..., DISPLAY_EXT
                found.emplace_back(Vc1Scan{((b >> 7) & 1) != 0, ((b >> 6) & 1) != 0});
                if (b & 0x02) displayCountdown = 4;
                break;
            default:
                break;
            }
        } else if (displayCountdown > 0) {
            --displayCountdown;
            if (reported) continue;
            if (displayCountdown == 2) { // DISP_HORIZ_SIZE − 1 (14 bits)
                found.emplace_back(Vc1DisplayWidth{((window & 0x1FFF8) >> 3) + 1});
            } else if (displayCountdown == 0) {
                // DISP_VERT_SIZE − 1 (14 bits), ASPECT_RATIO_FLAG, ASPECT_RATIO (4 bits)
                found.emplace_back(Vc1DisplayHeight{((window & 0x7FFE0) >> 5) + 1});
                if (b & 0x10) {
                    found.emplace_back(Vc1Aspect{static_cast<uint8_t>(b & 0x0F)});
                    aspectPending = 1;
                }
            }
        } else if (aspectPending > 0) {
            aspectPending = 0;
            if (!reported && (b & 0x80)) rateCountdown = 2; // FRAMERATE_FLAG
        } else if (rateCountdown > 0) {
            if (--rateCountdown > 0 || reported) continue;
            if (window & (1u << 22)) // FRAMERATEIND: rate in 1/32 fps steps
                found.emplace_back(Vc1FrameRateInd{(window >> 6) & 0xFFFF});
            else
                found.emplace_back(Vc1FrameRateCodes{(window >> 14) & 0xFF, (window >> 10) & 0x0F});
            reported = true;
        }
    }
    return info;
}

} // namespace qf
