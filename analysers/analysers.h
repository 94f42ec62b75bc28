#pragma once
// Decoders of the first payload of each stream kind. Each parser reads a run of payload
// bytes and returns what it decoded; engine/describe.h puts that into the report's words.
// None reads outside the run (LPCM looks at the sub-stream header bytes just before p;
// DTS decodes a core header to the end of the block).
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysers/info.h"

namespace qf {

struct NameTables;

Ac3Info parseAc3(std::span<const uint8_t> run, const NameTables& tables);
// Sync words are looked for in block[p, end); a core header is decoded on to the block's end.
DtsInfo parseDts(std::span<const uint8_t> block, size_t p, size_t end);
// p: where the payload starts in block, after the private header. dvdVideo: the source is
// DVD-Video, whose LPCM header differs from DVD-Audio's and HD DVD's.
LpcmInfo parseLpcm(std::span<const uint8_t> block, size_t p, bool dvdVideo);
MlpInfo parseMlp(std::span<const uint8_t> run);
MpaInfo parseMpa(std::span<const uint8_t> run);
Mpeg2Info parseMpeg2(std::span<const uint8_t> run, uint32_t pts);
H264Info parseH264(std::span<const uint8_t> run);
Vc1Info parseVc1(std::span<const uint8_t> run, int64_t pts);

} // namespace qf
