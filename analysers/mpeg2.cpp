#include "analysers/analysers.h"

namespace qf {

namespace {

constexpr uint32_t kPictureStart = 0x00000100;
constexpr uint32_t kSequenceHeader = 0x000001B3;
constexpr uint32_t kExtensionStart = 0x000001B5;
constexpr int kPictureCodingExtension = 8;
constexpr int kSequenceExtension = 1;

} // namespace

const char* mpeg2Aspect(uint8_t code) {
    static constexpr const char* kRatios[5] = {nullptr, "1:1", "4:3", "16:9", "2.21:1"};
    return code < 5 ? kRatios[code] : nullptr;
}

double mpeg2FrameRate(uint8_t code) {
    static constexpr double kRates[9] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                         50, 60000.0 / 1001, 60};
    return code < 9 ? kRates[code] : 0;
}

std::optional<uint32_t> Mpeg2Info::width() const {
    return firstOf<Mpeg2Size>(*this, [](const Mpeg2Size& s) { return std::optional(s.width); });
}

std::optional<uint32_t> Mpeg2Info::height() const {
    return firstOf<Mpeg2Size>(*this, [](const Mpeg2Size& s) { return std::optional(s.height); });
}

std::optional<double> Mpeg2Info::frameRate() const {
    return firstOf<Mpeg2AspectRate>(*this, [](const Mpeg2AspectRate& a) {
        const double rate = mpeg2FrameRate(a.rate);
        return rate > 0 ? std::optional(rate) : std::nullopt;
    });
}

const char* Mpeg2Info::aspect() const {
    return firstOf<Mpeg2AspectRate>(*this,
                                    [](const Mpeg2AspectRate& a) { return mpeg2Aspect(a.aspect); });
}

std::optional<double> Mpeg2Info::bitRate() const {
    return firstOf<Mpeg2BitRate>(*this, [](const Mpeg2BitRate& b) {
        return b.variable() ? std::nullopt : std::optional(b.value * 400.0);
    });
}

// Sequence header fields, progressive_sequence and the first PTS of an MPEG-2 (or
// MPEG-1) video payload. Only the first matching rule handles a byte, so a start code
// completed inside a header is taken as a start code and that header's countdown
// waits for the next byte.
Mpeg2Info parseMpeg2(std::span<const uint8_t> run, uint32_t pts) {
    Mpeg2Info info;
    auto& found = info.found;
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

    for (const uint8_t b : run) {
        window = (window << 8) | b;
        if (window == kPictureStart) {
            pictureCountdown = 2;
        } else if (window == kSequenceHeader) {
            headerCountdown = 7;
            if (!headerFound) {
                found.emplace_back(Mpeg2SequenceFound{picturesCounted});
                headerFound = true;
                ptsCountdown = 2;
            }
            picturesCounted = 0;
        } else if (headerCountdown > 0) {
            --headerCountdown;
            if (sequenceReported) continue;
            switch (headerCountdown) {
            case 4: // horizontal_size_value (12 bits), vertical_size_value (12 bits)
                found.emplace_back(Mpeg2Size{(window & 0xFFF000) >> 12, window & 0xFFF});
                break;
            case 3: // aspect_ratio_information, frame_rate_code
                found.emplace_back(
                    Mpeg2AspectRate{static_cast<uint8_t>(b >> 4), static_cast<uint8_t>(b & 0x0F)});
                break;
            case 0: // bit_rate_value in units of 400 bit/s
                found.emplace_back(Mpeg2BitRate{(window & 0xFFFFC0) >> 6});
                break;
            default:
                break;
            }
        } else if (pictureCountdown > 0) {
            if (--pictureCountdown == 0) {
                const int codingType = (b >> 3) & 7;
                if (codingType == 0 || codingType > 3)
                    found.emplace_back(Mpeg2IllegalPicture{codingType});
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
            // The first PTS waits for the second picture after the first sequence
            // header, so a payload holding a single picture stays silent about it.
            if (--pictureExtensionCountdown == 1 && ptsCountdown > 0 && --ptsCountdown == 0)
                found.emplace_back(Mpeg2FirstPts{pts});
        } else if (sequenceExtensionPending > 0) {
            sequenceExtensionPending = 0;
            if (!sequenceReported) {
                found.emplace_back(Mpeg2Progressive{(b & 0x08) != 0});
                sequenceReported = true;
            }
        }
    }
    return info;
}

} // namespace qf
