#pragma once
// The line-21 captions a Read reports for a video stream: its first run cannot hold more
// than a picture or two, so the packets of the same stream later in the block are read too.
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysers/captions.h"

namespace qf {

// The channels the user data of a video stream's first run (block[from, from + n)) and of
// the stream's packets that follow it in the block (PES stream id `streamId`) address, up
// to about 64 KiB of the stream.
CaptionChannels leadingCaptions(std::span<const uint8_t> block, size_t from, size_t n,
                                uint8_t streamId, VideoCoding coding);

// Adds the channels a DVD title's IFO flags for line 21 give (CC1 for field 1, CC3 for
// field 2) where the user data showed none on that field.
void addLine21Flags(CaptionChannels& channels, bool field1, bool field2);

} // namespace qf
