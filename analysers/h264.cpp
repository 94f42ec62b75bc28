#include <algorithm>
#include <array>
#include <iterator>
#include <string>

#include "analysers/analysers.h"
#include "analysers/bitreader.h"

namespace qf {

namespace {

constexpr uint32_t kAccessUnitDelimiter = 0x00000109;
// Sequence parameter sets with nal_ref_idc 1 and 3, the values encoders use for them.
constexpr uint32_t kParameterSetRef1 = 0x00000127;
constexpr uint32_t kParameterSetRef3 = 0x00000167;

// Profiles whose parameter sets carry the chroma format and bit depths.
bool hasChromaFields(uint8_t profileIdc) {
    constexpr uint8_t kProfiles[] = {100, 110, 122, 144, 244, 44,  83,
                                     86,  118, 128, 138, 139, 134, 135};
    return std::find(std::begin(kProfiles), std::end(kProfiles), profileIdc) != std::end(kProfiles);
}

void skipScalingList(BitReader& in, int size) {
    int64_t last = 8, next = 8; // wide enough for any delta_scale a set may hold
    for (int j = 0; j < size && !in.overrun(); ++j) {
        if (next != 0) next = ((last + in.se()) % 256 + 256) % 256;
        if (next != 0) last = next;
    }
}

// Where the parameter set whose first byte (profile_idc) is data[0] ends: at the zeros
// of the next start code (00 00 00, 00 00 01, 00 00 02), else at the end of the run.
size_t parameterSetLength(const uint8_t* data, size_t n) {
    int zeros = 0;
    for (size_t i = 0; i < n; ++i) {
        if (zeros >= 2 && data[i] <= 2) return i - 2;
        zeros = data[i] == 0 ? zeros + 1 : 0;
    }
    return n;
}

// The rest of a sequence parameter set, from seq_parameter_set_id on (the bytes after
// level_idc up to the next start code), read with its emulation-prevention bytes removed:
// writes the picture size less the cropping and, with VUI timing, the frame rate. A set
// that ends before a line's fields writes nothing of it.
void parameterSetRest(H264Info& info, uint8_t profileIdc, const uint8_t* p, size_t n) {
    // Far more than the fields up to the timing take, even with scaling lists.
    std::array<uint8_t, 1024> rbsp;
    size_t len = 0;
    int zeros = 0;
    for (size_t i = 0; i < n && len < rbsp.size(); ++i) {
        const uint8_t b = p[i];
        if (zeros >= 2 && b <= 3) {
            if (b == 3) { // emulation prevention
                zeros = 0;
                continue;
            }
            len -= 2; // the zeros belong to the next start code
            break;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        rbsp[len++] = b;
    }

    BitReader in(rbsp.data(), len);
    in.ue(); // seq_parameter_set_id
    uint32_t chromaFormat = 1;
    bool separatePlanes = false;
    if (hasChromaFields(profileIdc)) {
        chromaFormat = in.ue();
        if (chromaFormat == 3) separatePlanes = in.flag();
        in.ue();         // bit_depth_luma_minus8
        in.ue();         // bit_depth_chroma_minus8
        in.flag();       // qpprime_y_zero_transform_bypass_flag
        if (in.flag()) { // seq_scaling_matrix_present_flag
            for (int k = 0; k < (chromaFormat != 3 ? 8 : 12); ++k)
                if (in.flag()) skipScalingList(in, k < 6 ? 16 : 64);
        }
    }
    in.ue(); // log2_max_frame_num_minus4
    const uint32_t pocType = in.ue();
    if (pocType == 0) {
        in.ue(); // log2_max_pic_order_cnt_lsb_minus4
    } else if (pocType == 1) {
        in.flag(); // delta_pic_order_always_zero_flag
        in.se();   // offset_for_non_ref_pic
        in.se();   // offset_for_top_to_bottom_field
        const uint32_t cycle = in.ue();
        for (uint32_t k = 0; k < cycle && !in.overrun(); ++k) in.se();
    }
    in.ue();   // max_num_ref_frames
    in.flag(); // gaps_in_frame_num_value_allowed_flag
    const uint64_t widthMbs = uint64_t{in.ue()} + 1;
    const uint64_t heightUnits = uint64_t{in.ue()} + 1;
    const bool frameMbsOnly = in.flag();
    if (!frameMbsOnly) in.flag(); // mb_adaptive_frame_field_flag
    in.flag();                    // direct_8x8_inference_flag
    uint64_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    if (in.flag()) {
        cropLeft = in.ue();
        cropRight = in.ue();
        cropTop = in.ue();
        cropBottom = in.ue();
    }
    if (in.overrun() || chromaFormat > 3) return;

    const uint32_t arrayType = separatePlanes ? 0 : chromaFormat;
    const uint64_t fieldFactor = frameMbsOnly ? 1 : 2;
    const uint64_t unitX = arrayType == 0 || arrayType == 3 ? 1 : 2;
    const uint64_t unitY = (arrayType == 1 ? 2 : 1) * fieldFactor;
    const uint64_t fullWidth = widthMbs * 16, fullHeight = fieldFactor * heightUnits * 16;
    const uint64_t cutX = unitX * (cropLeft + cropRight), cutY = unitY * (cropTop + cropBottom);
    if (cutX < fullWidth && cutY < fullHeight)
        info.found.emplace_back(H264Size{fullWidth - cutX, fullHeight - cutY});
    if (!in.flag() || in.overrun()) return; // vui_parameters_present_flag

    if (in.flag()) {                  // aspect_ratio_info_present_flag
        if (in.u(8) == 255) in.u(32); // Extended_SAR: sar_width, sar_height
    }
    if (in.flag()) in.flag();    // overscan_info_present_flag, overscan_appropriate_flag
    if (in.flag()) {             // video_signal_type_present_flag
        in.u(4);                 // video_format, video_full_range_flag
        if (in.flag()) in.u(24); // colour primaries, transfer, matrix
    }
    if (in.flag()) { // chroma_loc_info_present_flag
        in.ue();
        in.ue();
    }
    if (!in.flag()) return; // timing_info_present_flag
    const uint32_t unitsInTick = in.u(32), timeScale = in.u(32);
    if (in.overrun() || unitsInTick == 0 || timeScale == 0) return;
    info.found.emplace_back(H264FrameRate{timeScale / (2.0 * unitsInTick)});
}

} // namespace

std::string H264Level::name() const {
    // Level 1b of the Baseline, Main and Extended profiles is level_idc 11 marked by
    // constraint_set3_flag.
    return idc == 11 && constraintSet3 ? std::string("1b") : std::to_string(idc);
}

const char* h264ProfileName(uint8_t idc) {
    switch (idc) {
    case 66:
        return "Baseline Profile";
    case 77:
        return "Main Profile";
    case 88:
        return "Extended Profile";
    case 100:
        return "High Profile";
    case 110:
        return "High 10 Profile";
    case 122:
        return "High 4:2:2 Profile";
    case 144:
        return "High 4:4:4 Profile";
    default:
        return "Unknown Profile";
    }
}

std::optional<uint32_t> H264Info::width() const {
    return firstOf<H264Size>(*this,
                             [](const H264Size& s) { return std::optional(uint32_t(s.width)); });
}

std::optional<uint32_t> H264Info::height() const {
    return firstOf<H264Size>(*this,
                             [](const H264Size& s) { return std::optional(uint32_t(s.height)); });
}

std::optional<double> H264Info::frameRate() const {
    return firstOf<H264FrameRate>(*this,
                                  [](const H264FrameRate& f) { return std::optional(f.fps); });
}

// Profile, level, picture size and frame rate of each sequence parameter set, and how many
// access units come before the first one whose delimiter announces an I picture. Profile,
// constraint flags and level lead the parameter set, before any emulation-prevention byte
// can occur, so they are taken as they stand.
H264Info parseH264(std::span<const uint8_t> run) {
    H264Info info;
    const uint8_t* data = run.data();
    const size_t n = run.size();

    uint32_t window = 0;
    int delimiterCountdown = 0;
    int parameterSetCountdown = 0;
    int accessUnits = 0;
    bool iFound = false;
    bool constraintSet3 = false;
    uint8_t profileIdc = 0;
    size_t setEnd = 0; // index of the first byte after the parameter set being read

    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        window = (window << 8) | b;
        if (window == kAccessUnitDelimiter) {
            delimiterCountdown = 1;
        } else if (delimiterCountdown > 0) {
            delimiterCountdown = 0;
            if (!iFound && (b >> 5) == 0) { // primary_pic_type 0: I slices only
                info.found.emplace_back(H264FramesBeforeI{accessUnits});
                iFound = true;
            }
            ++accessUnits;
        } else if (window == kParameterSetRef1 || window == kParameterSetRef3) {
            parameterSetCountdown = 4;
        } else if (parameterSetCountdown > 0) {
            if (parameterSetCountdown == 4) setEnd = i + parameterSetLength(data + i, n - i);
            // A set cut by the next start code has no fields past it.
            if (i >= setEnd) {
                parameterSetCountdown = 0;
                continue;
            }
            switch (--parameterSetCountdown) {
            case 3:
                profileIdc = b;
                info.found.emplace_back(H264Profile{b});
                break;
            case 2:
                constraintSet3 = (b & 0x10) != 0;
                break;
            case 1:
                info.found.emplace_back(H264Level{b, constraintSet3});
                parameterSetRest(info, profileIdc, data + i + 1, setEnd - i - 1);
                break;
            default:
                break;
            }
        }
    }
    return info;
}

} // namespace qf
