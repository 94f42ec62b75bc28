#pragma once
// Detailed reports of the first payload of each stream kind. Each analyser reads
// ctx.ReadBuffer[p, p + n) and writes its lines through ctx.log(); lines begin with
// three blanks. None reads outside the bytes it is given (LPCMinfo also looks at the
// sub-stream header bytes just before p, when they are in the buffer).
#include <cstddef>
#include <cstdint>

namespace qf {

class Context;

void AC3info(Context& ctx, size_t p, size_t n, int audioIdx);
void DTSinfo(Context& ctx, size_t p, size_t n, int audioIdx);
void MLPinfo(Context& ctx, size_t p, size_t n);
void LPCMinfo(Context& ctx, size_t p, size_t n);
void MPEG2info(Context& ctx, size_t p, size_t n, uint32_t pts, uint32_t dts);
void H264info(Context& ctx, size_t p, size_t n, uint32_t pts, uint32_t dts);
void VC1info(Context& ctx, size_t p, size_t n, uint32_t dts, int64_t pts);

} // namespace qf
