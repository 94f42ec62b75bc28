// Reports of LPCM streams (from the private header) and of MLP / TrueHD major syncs.
#include <cstdint>
#include <string>

#include "analysers/analysers.h"
#include "engine/context.h"

namespace qf {

// The LPCM payload starts 7 bytes after the sub-stream id; the word length,
// sampling rate and channel assignment sit in that header, before p.
void LPCMinfo(Context& ctx, size_t p, size_t /*n*/) {
    const auto& buf = ctx.ReadBuffer;
    // Below 7 the header lay in the previous block, which is gone.
    if (p < 7 || p > buf.size()) return;

    const uint8_t wordLength = buf[p - 5] >> 4;
    const uint8_t rate = buf[p - 4] >> 4;
    const uint8_t channels = buf[p - 2] & 0x1F;
    ctx.log("   Sample size = [bl]" + ctx.WordLengthNames[wordLength] + "[/bl] bit");
    if (rate != 15) ctx.log("   Sampling frequency = [bl]" + ctx.RateNames[rate] + "[/bl] kHz");
    ctx.log("   Channel arrangement = " + ctx.ChannelNames[channels]);
}

void MLPinfo(Context& ctx, size_t p, size_t n) {
    const auto& buf = ctx.ReadBuffer;
    if (p >= buf.size() || n == 0) return;
    if (n > buf.size() - p) n = buf.size() - p;

    uint32_t window = 0;
    int mlpCountdown = 0, truehdCountdown = 0;
    uint32_t modifier2 = 0, modifier6 = 0, modifier8 = 0, assignment6 = 0;

    // The last payload byte is never examined.
    for (size_t i = p; i + 1 < p + n; ++i) {
        const uint32_t b = buf[i];
        window = (window << 8) | b;
        if (window == 0xF8726FBA) {
            truehdCountdown = 4;
            ctx.log("   [b]TrueHD[/b] stream (up to 8 channels)");
        } else if (window == 0xF8726FBB) {
            mlpCountdown = 4;
            ctx.log("   [b]Standard MLP[/b] stream (up to 6 channels) ");
        } else if (mlpCountdown > 0) {
            switch (--mlpCountdown) {
            case 3:
                ctx.log("   Quantization length = [bl]" + ctx.WordLengthNames[b >> 4] +
                        "[/bl] bits");
                break;
            case 2:
                ctx.log("   Sampling frequency = [bl]" + ctx.RateNames[b >> 4] + "[/bl] kHz");
                break;
            case 0:
                ctx.log("   Channel arrangement = [bl]" + ctx.ChannelNames[b & 0x1F] + "[/bl]");
                break;
            default:
                break;
            }
        } else if (truehdCountdown > 0) {
            switch (--truehdCountdown) {
            case 3:
                ctx.log("   Sampling frequency = [bl]" + ctx.RateNames[b >> 4] + "[/bl] kHz");
                break;
            case 2:
                modifier2 = b >> 6;
                modifier6 = (b >> 4) & 3;
                assignment6 = (b & 0x0F) * 2;
                break;
            case 1:
                assignment6 += b >> 7;
                modifier8 = (b >> 5) & 3;
                ctx.log("   2 ch. decoder");
                ctx.log("      channel modifier = " + std::to_string(modifier2));
                ctx.log("   6 ch. decoder");
                ctx.log("      channel modifier = " + std::to_string(modifier6));
                ctx.log("      channel arrangement = [bl]" + ctx.MLPChannelNames[assignment6] +
                        "[/bl]");
                break;
            case 0: {
                const uint32_t assignment8 = window & 0x1FFF;
                ctx.log("   8 ch. decoder");
                ctx.log("      channel modifier = " + std::to_string(modifier8));
                ctx.log("      channel arrangement = [bl]" +
                        ctx.MLPChannelNames[assignment8 & 0x1F] + "[/bl]");
                break;
            }
            default:
                break;
            }
        }
    }
}

} // namespace qf
