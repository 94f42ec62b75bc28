#pragma once
// One PES packet as the pass reads it: where it lies in the source, the stream it carries,
// its header's length, its payload span, its time stamps and the system clock of the pack
// it came in. Time stamps and clock references are 33-bit values in 90 kHz ticks, kept
// whole; where a file format or a log line holds 32 bits, the writer cuts them there.
#include <cstdint>

#include "engine/codecs.h"
#include "engine/stream_key.h"

namespace qf {

// A 33-bit time stamp or system clock reference base, 90 kHz ticks.
using Stamp = uint64_t;
inline constexpr Stamp kStampMask = (Stamp{1} << 33) - 1;

struct PesHeader {
    int64_t offset = 0;       // source position of its start code
    uint8_t streamId = 0;     // the PES stream id
    StreamKey key;            // the stream it carries
    uint16_t length = 0;      // PES_packet_length: the bytes after the length field
    uint8_t headerLength = 0; // PES_header_data_length
    int64_t payloadStart = 0; // source position of the payload, behind a sub-stream header
    uint32_t payloadLength = 0;
    bool hasPts = false, hasDts = false;
    Stamp pts = 0, dts = 0;
    // The system clock reference of the pack the packet came in (base and the 27 MHz
    // extension); hasScr is false until a pack header was read.
    bool hasScr = false;
    Stamp scr = 0;
    uint16_t scrExtension = 0;
};

} // namespace qf
