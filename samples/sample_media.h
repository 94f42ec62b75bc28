#pragma once
// Real coded frames for the sample disc, so that its audio and MPEG-2 video decode: a
// silent AC-3 frame, a silent E-AC-3 frame, and the slices of a flat grey 720x480 picture.
#include <cstdint>
#include <span>

namespace qf::sample_media {

// One AC-3 frame: 48 kHz, 448 kbit/s, 3/2 with LFE, bsid 8 (1792 bytes). Every frame is
// whole in itself, so the one frame may be repeated.
std::span<const uint8_t> silentAc3Frame();
// One E-AC-3 frame: independent stream 0, 48 kHz, six blocks, 3/2 with LFE (1536 bytes).
std::span<const uint8_t> silentEac3Frame();
// The data of one slice (after its start code 00 00 01 NN, NN the row 1 to 30) of a flat
// grey I picture, or of a P picture that repeats its reference: both 720 pixels wide,
// coded with the picture coding extension the sample writes (f_codes 15 or 1/1 forward,
// 8-bit DC, frame picture, frame DCT, linear quantiser scale, zigzag).
std::span<const uint8_t> mpeg2SliceBody(bool intra);

} // namespace qf::sample_media
