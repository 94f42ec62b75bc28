#pragma once
// The LPCM of the three disc kinds as the demux writes it (the sample data of every
// packet, the private header left out), and how a run of it becomes interleaved samples
// in the channel order of WAVE_FORMAT_EXTENSIBLE, which is also FLAC's.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qf {

enum class LpcmLayout : uint8_t { DvdVideo, HdDvd, DvdAudio };

// What the caller read of the stream's LPCM header.
struct LpcmFacts {
    LpcmLayout layout = LpcmLayout::DvdVideo;
    int bits = 16;          // 16, 20 or 24; of DVD-Audio, group 1's
    int32_t rate = 48000;   // Hz; of DVD-Audio, group 1's
    int channels = 2;       // DVD-Video: 1-8; the others take theirs from `assignment`
    uint8_t assignment = 1; // HD DVD and DVD-Audio: the channel-assignment code, 0-20
    int bits2 = 0;          // DVD-Audio group 2's sample size and rate; 0: group 1's
    int32_t rate2 = 0;
};

// The speaker bits of WAVE_FORMAT_EXTENSIBLE's channel mask.
namespace speaker {
inline constexpr uint32_t FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, BC = 0x100,
                          SL = 0x200, SR = 0x400;
}

// The channels of a stream in the order its samples come, and how many of them (from the
// first) are DVD-Audio's channel group 1.
struct ChannelAssignment {
    uint8_t count = 0;
    uint8_t group1 = 0;
    std::array<uint32_t, 8> speakers{};
};

// DVD-Video's by channel count (1-8); nullptr for another count.
const ChannelAssignment* dvdVideoChannels(int count);
// DVD-Audio's and HD DVD's by channel-assignment code (0-20); nullptr for another code.
const ChannelAssignment* assignedChannels(unsigned code);
// FLAC's channel mask for a count without one of its own (1-8 channels).
uint32_t flacDefaultMask(int count);

// Turns whole chunks of packed big-endian samples into interleaved samples in
// channel-mask order, every one at the larger group's size (a smaller group's samples
// are shifted up: nothing is lost).
class LpcmUnpacker {
public:
    // Throws Error for facts that describe no stream it can convert.
    explicit LpcmUnpacker(const LpcmFacts& facts);

    int channels() const { return channels_; }
    int bits() const { return bits_; }
    int32_t rate() const { return rate_; }
    uint32_t mask() const { return mask_; }
    size_t chunkBytes() const { return chunkBytes_; }
    size_t chunkFrames() const { return chunkFrames_; }
    // Unpacks chunkBytes() bytes into chunkFrames() × channels() samples.
    void unpack(const uint8_t* in, int32_t* out) const;

    static constexpr size_t kMaxChunkBytes = 96; // 4 frames of 8 channels of 24 bits
    static constexpr size_t kMaxChunkSamples = 32;

private:
    // Where one sample of a chunk lies and where it goes.
    enum class Low : uint8_t { None, UpperNibble, LowerNibble, Byte };
    struct Place {
        uint8_t high = 0;     // its upper 16 bits, big-endian
        uint8_t low = 0;      // the byte with its low bits
        Low part = Low::None; // which of them
        uint8_t shift = 0;    // up to the output's size
        uint8_t out = 0;      // index in the chunk's output samples
    };
    // Appends a block of `n` samples of `bits` (in the order `order` gives them as output
    // indexes) laid out from byte `at`; returns the byte after it.
    size_t block(size_t at, const uint8_t* order, size_t n, int bits);

    int channels_ = 0, bits_ = 0;
    int32_t rate_ = 0;
    uint32_t mask_ = 0;
    size_t chunkBytes_ = 0, chunkFrames_ = 0, places_ = 0;
    std::array<Place, kMaxChunkSamples> place_{};
};

} // namespace qf
