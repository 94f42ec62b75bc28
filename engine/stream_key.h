#pragma once
// Which stream a packet belongs to, and the catalogue entry that stands for the stream in
// the codec table, the slot map and the kind names.
#include <cstdint>

namespace qf {

// Where a stream's id is.
enum class Carrier : uint8_t {
    PesId,     // the PES stream id itself
    SubStream, // the sub-stream id of private stream 1
    Extension, // the stream id extension of extended stream id 0xFD
};

// The stream a packet carries: its PES id, until a sub-stream id (private stream 1) or a
// stream id extension (0xFD) names it.
struct StreamKey {
    Carrier carrier = Carrier::PesId;
    uint8_t id = 0;
    friend bool operator==(const StreamKey&, const StreamKey&) = default;
};

// The catalogue entry of an MPEG audio stream is its PES id plus this, so that it never
// meets the E-AC-3 sub-stream ids of the same values (0xC0-0xCF).
inline constexpr int32_t kMpegAudioEntry = 0x100;

// The catalogue entry of a stream: its id, for MPEG audio (PES ids 0xC0-0xDF) moved past
// the sub-stream ids.
constexpr int32_t entryOf(StreamKey key) {
    const bool mpegAudio = key.carrier == Carrier::PesId && key.id >= 0xC0 && key.id <= 0xDF;
    return key.id + (mpegAudio ? kMpegAudioEntry : 0);
}

} // namespace qf
