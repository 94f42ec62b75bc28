#include <cstdio>
#include <string>

#include "analysers/analysers.h"
#include "analysers/report.h"

namespace qf {

namespace {

constexpr uint32_t kPictureStart = 0x00000100;
constexpr uint32_t kSequenceHeader = 0x000001B3;
constexpr uint32_t kExtensionStart = 0x000001B5;
constexpr int kPictureCodingExtension = 8;
constexpr int kSequenceExtension = 1;
constexpr uint32_t kVariableBitRate = 0x3FFFF;

const char* aspectLine(int code) {
    switch (code) {
    case 0:
        return "   Aspect ratio = forbidden";
    case 1:
        return "   Aspect ratio = [bl]1:1[/bl] (square samples)";
    case 2:
        return "   Aspect ratio = [bl]4:3[/bl]";
    case 3:
        return "   Aspect ratio = [bl]16:9[/bl]";
    case 4:
        return "   Aspect ratio = [bl]2.21:1[/bl]";
    default:
        return "   Aspect ratio = reserved";
    }
}

const char* frameRateLine(int code) {
    switch (code) {
    case 0:
        return "   Frame rate = forbidden";
    case 1:
        return "   Frame rate = [bl]23.976[/bl] fps";
    case 2:
        return "   Frame rate = [bl]24[/bl] fps";
    case 3:
        return "   Frame rate = [bl]25[/bl] fps";
    case 4:
        return "   Frame rate = [bl]29.97[/bl] fps";
    case 5:
        return "   Frame rate = [bl]30[/bl] fps";
    case 6:
        return "   Frame rate = [bl]50[/bl] fps";
    case 7:
        return "   Frame rate = [bl]59.94[/bl] fps";
    case 8:
        return "   Frame rate = [bl]60[/bl] fps";
    default:
        return "   Frame rate = reserved";
    }
}

// The display aspect ratio by aspect_ratio_information; nullptr for the forbidden and
// reserved codes.
const char* aspectRatio(int code) {
    static constexpr const char* kRatios[5] = {nullptr, "1:1", "4:3", "16:9", "2.21:1"};
    return code < 5 ? kRatios[code] : nullptr;
}

// Frames per second by frame_rate_code; 0 for the forbidden and reserved codes.
double frameRate(int code) {
    static constexpr double kRates[9] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                         50, 60000.0 / 1001, 60};
    return code < 9 ? kRates[code] : 0;
}

} // namespace

// Sequence header fields, progressive_sequence and the first PTS of an MPEG-2 (or
// MPEG-1) video payload. Only the first matching rule handles a byte, so a start code
// completed inside a header is taken as a start code and that header's countdown
// waits for the next byte.
void MPEG2info(Report& r, size_t p, size_t n, uint32_t pts, uint32_t) {
    const std::span<const uint8_t> run = runBytes(r, p, n);
    const uint8_t* data = run.data();
    n = run.size();

    uint32_t window = 0;
    bool headerFound = false;
    bool sequenceReported = false;
    int headerCountdown = 0;
    int pictureCountdown = 0;
    int extensionPending = 0;
    int pictureExtensionCountdown = 0;
    int sequenceExtensionPending = 0;
    int picturesCounted = 0;
    int ptsCountdown = 0;

    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        window = (window << 8) | b;
        if (window == kPictureStart) {
            pictureCountdown = 2;
        } else if (window == kSequenceHeader) {
            headerCountdown = 7;
            if (!headerFound) {
                r.log("   Sequence Header found");
                r.log("   " + std::to_string(picturesCounted) +
                      " frames before first Sequence Header");
                headerFound = true;
                ptsCountdown = 2;
            }
            picturesCounted = 0;
        } else if (headerCountdown > 0) {
            --headerCountdown;
            if (sequenceReported) continue;
            switch (headerCountdown) {
            case 4: // horizontal_size_value (12 bits), vertical_size_value (12 bits)
                r.value(key::Width, (window & 0xFFF000) >> 12);
                r.value(key::Height, window & 0xFFF);
                r.log("   size = [bl]" + std::to_string((window & 0xFFF000) >> 12) + "[/bl]x[bl]" +
                      std::to_string(window & 0xFFF) + "[/bl]");
                break;
            case 3: // aspect_ratio_information, frame_rate_code
                r.log(aspectLine(b >> 4));
                if (const char* ratio = aspectRatio(b >> 4)) r.value(key::Aspect, ratio);
                r.log(frameRateLine(b & 0x0F));
                if (const double rate = frameRate(b & 0x0F); rate > 0)
                    r.value(key::FrameRate, rate);
                break;
            case 0: { // bit_rate_value in units of 400 bit/s
                const uint32_t bitRate = (window & 0xFFFFC0) >> 6;
                // The largest value stands for a variable rate, which has no number.
                if (bitRate != kVariableBitRate) r.value(key::BitRate, bitRate * 400.0);
                r.log("  Sequence header bitrate = [bl]" + std::to_string(bitRate * 400 / 1000) +
                      "[/bl] kbps");
                break;
            }
            default:
                break;
            }
        } else if (pictureCountdown > 0) {
            if (--pictureCountdown == 0) {
                const int codingType = (b >> 3) & 7;
                if (codingType == 0 || codingType > 3)
                    r.log("   illegal picture_coding_type = " + std::to_string(codingType));
            }
        } else if (window == kExtensionStart) {
            extensionPending = 1;
        } else if (extensionPending > 0) {
            extensionPending = 0;
            const int id = b >> 4;
            if (id == kPictureCodingExtension) {
                ++picturesCounted;
                if (headerFound) pictureExtensionCountdown = 5;
            } else if (id == kSequenceExtension) {
                sequenceExtensionPending = 1;
            }
        } else if (pictureExtensionCountdown > 0) {
            // The first PTS line waits for the second picture after the first sequence
            // header, so a payload holding a single picture stays silent about it.
            if (--pictureExtensionCountdown == 1 && ptsCountdown > 0 && --ptsCountdown == 0) {
                char hex[9];
                std::snprintf(hex, sizeof hex, "%08X", pts);
                r.log(std::string("   First Video PTS = ") + hex);
            }
        } else if (sequenceExtensionPending > 0) {
            sequenceExtensionPending = 0;
            if (!sequenceReported) {
                r.log("   Progressive Sequence = " + std::to_string((b & 0x08) >> 3));
                sequenceReported = true;
            }
        }
    }
}

} // namespace qf
