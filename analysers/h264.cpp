#include <string>

#include "analysers/analysers.h"
#include "engine/context.h"

namespace qf {

namespace {

constexpr uint32_t kAccessUnitDelimiter = 0x00000109;
// Sequence parameter sets with nal_ref_idc 1 and 3, the values encoders use for them.
constexpr uint32_t kParameterSetRef1 = 0x00000127;
constexpr uint32_t kParameterSetRef3 = 0x00000167;

const char* profileLine(uint8_t profileIdc) {
    switch (profileIdc) {
    case 66:
        return "   Baseline Profile";
    case 77:
        return "   Main Profile";
    case 88:
        return "   Extended Profile";
    case 100:
        return "   High Profile";
    case 110:
        return "   High 10 Profile";
    case 122:
        return "   High 4:2:2 Profile";
    case 144:
        return "   High 4:4:4 Profile";
    default:
        return "   Unknown Profile";
    }
}

} // namespace

// Profile and level of each sequence parameter set, and how many access units come
// before the first one whose delimiter announces an I picture. The three fields read
// lead the parameter set, so no emulation-prevention byte can sit among them.
void H264info(Context& ctx, size_t p, size_t n, uint32_t, uint32_t) {
    const size_t size = ctx.ReadBuffer.size();
    if (p >= size) return;
    if (n > size - p) n = size - p;
    const uint8_t* data = ctx.ReadBuffer.data() + p;

    uint32_t window = 0;
    int delimiterCountdown = 0;
    int parameterSetCountdown = 0;
    int accessUnits = 0;
    bool iFound = false;
    bool constraintSet3 = false;

    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        window = (window << 8) | b;
        if (window == kAccessUnitDelimiter) {
            delimiterCountdown = 1;
        } else if (delimiterCountdown > 0) {
            delimiterCountdown = 0;
            if (!iFound && (b >> 5) == 0) { // primary_pic_type 0: I slices only
                ctx.log("   " + std::to_string(accessUnits) + " frames before first I-frame");
                iFound = true;
            }
            ++accessUnits;
        } else if (window == kParameterSetRef1 || window == kParameterSetRef3) {
            parameterSetCountdown = 4;
        } else if (parameterSetCountdown > 0) {
            switch (--parameterSetCountdown) {
            case 3:
                ctx.log(profileLine(b));
                break;
            case 2:
                constraintSet3 = (b & 0x10) != 0;
                break;
            case 1:
                // Level 1b of the Baseline, Main and Extended profiles is level_idc 11
                // marked by constraint_set3_flag.
                if (b == 11 && constraintSet3)
                    ctx.log("   Level = 1b");
                else
                    ctx.log("   Level = " + std::to_string(b));
                break;
            default:
                break;
            }
        }
    }
}

} // namespace qf
