#pragma once
// Detailed reports of the first payload of each stream kind. Each analyser reads the
// run [p, p + n) of r.block() and writes its lines through r.log(); lines begin with
// three blanks. None reads outside the run (LPCMinfo also looks at the sub-stream
// header bytes just before p; DTSinfo decodes a core header to the end of the block).
#include <cstddef>
#include <cstdint>

namespace qf {

class Report;

void AC3info(Report& r, size_t p, size_t n, int audioIdx);
void DTSinfo(Report& r, size_t p, size_t n, int audioIdx);
void MLPinfo(Report& r, size_t p, size_t n);
// dvdVideo: the source is DVD-Video, whose LPCM header differs from DVD-Audio's and HD DVD's.
void LPCMinfo(Report& r, size_t p, size_t n, bool dvdVideo);
void MPAinfo(Report& r, size_t p, size_t n);
void MPEG2info(Report& r, size_t p, size_t n, uint32_t pts, uint32_t dts);
void H264info(Report& r, size_t p, size_t n, uint32_t pts, uint32_t dts);
void VC1info(Report& r, size_t p, size_t n, uint32_t dts, int64_t pts);

} // namespace qf
