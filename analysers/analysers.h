#pragma once
// Detailed reports of the first payload of each stream kind. Each parser reads a run of
// payload bytes and returns what it decoded; each describe() writes that as the report's
// lines through r.log(), which begin with three blanks. The xxxinfo entry points do both
// for the run [p, p + n) of r.block() and hand the result to r.found(). None reads outside
// the run (LPCM also looks at the sub-stream header bytes just before p; DTS decodes a
// core header to the end of the block).
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysers/info.h"

namespace qf {

class Report;
struct NameTables;

Ac3Info parseAc3(std::span<const uint8_t> run, const NameTables& tables);
// Sync words are looked for in block[p, end); a core header is decoded on to the block's end.
DtsInfo parseDts(std::span<const uint8_t> block, size_t p, size_t end);
// p: where the payload starts in block, after the private header.
LpcmInfo parseLpcm(std::span<const uint8_t> block, size_t p, bool dvdVideo,
                   const NameTables& tables);
MlpInfo parseMlp(std::span<const uint8_t> run, const NameTables& tables);
MpaInfo parseMpa(std::span<const uint8_t> run);
Mpeg2Info parseMpeg2(std::span<const uint8_t> run, uint32_t pts);
H264Info parseH264(std::span<const uint8_t> run);
Vc1Info parseVc1(std::span<const uint8_t> run, int64_t pts);

void describe(Report& r, const Ac3Info& info, int audioIdx);
void describe(Report& r, const DtsInfo& info);
void describe(Report& r, const LpcmInfo& info);
void describe(Report& r, const MlpInfo& info);
void describe(Report& r, const MpaInfo& info);
void describe(Report& r, const Mpeg2Info& info);
void describe(Report& r, const H264Info& info);
void describe(Report& r, const Vc1Info& info);

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
