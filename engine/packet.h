#pragma once
// The packets of one pack of a program stream, as values: the pack header (MPEG-2 with its
// stuffing, or MPEG-1) and its system clock reference, the system header when the pack
// carries one, and each PES packet with its stream key, header length, payload span and
// time stamps. Every length is checked against the bytes given: nothing past their end is
// read, and a field that does not fit ends the walk with a status that says why. Nothing
// is allocated; a pack holds at most kMaxPackPackets packets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qf {

inline constexpr size_t kMaxPackPackets = 8;
inline constexpr uint8_t kPaddingStream = 0xBE;

// How the walk over a pack ended.
enum class PackStatus : uint8_t {
    Complete,     // every byte read: pack header, headers and packets, an end code or a next pack
    NotAPack,     // the bytes do not start with a pack start code
    Truncated,    // a header or packet continues past the last byte given
    Malformed,    // a length or field that cannot be (the walk stops at its packet)
    Unrecognised, // bytes that start no header or packet (stuffing, or not a program stream)
    TooManyPackets,
};

struct PackHeader {
    bool mpeg1 = false;
    uint32_t length = 0; // 12 (MPEG-1) or 14 + stuffing
    uint8_t stuffing = 0;
    uint64_t scrBase = 0;      // 33 bits, 90 kHz
    uint16_t scrExtension = 0; // MPEG-2: 0-299, 27 MHz beyond the base
    uint32_t muxRate = 0;      // 22 bits, in units of 50 bytes a second
};

struct SystemHeader {
    uint32_t offset = 0; // of its start code within the pack
    uint32_t length = 0; // start code and length field included
    uint32_t rateBound = 0;
    uint8_t audioBound = 0, videoBound = 0;
    // The bytes a writer changes the bounds in: audio_bound in bits 7-2 of the first,
    // video_bound in bits 4-0 of the second.
    uint32_t audioBoundAt = 0, videoBoundAt = 0;
};

struct PesPacket {
    uint32_t offset = 0; // of its start code within the pack; the stream id is 3 bytes on
    uint8_t streamId = 0;
    uint32_t length = 0; // start code to last byte, as its length field gives it; a length of 0
                         // runs to the end of the bytes
    uint32_t headerLength = 0; // bytes after the length field before the payload
    uint32_t payloadOffset = 0, payloadLength = 0; // the payload bytes that were given
    bool truncated = false;                        // it continues past the bytes given
    bool headerRead = false; // the whole header was given (payload, time stamps, sub id valid)
    bool mpeg1 = false;      // MPEG-1 packet header syntax
    bool hasPts = false, hasDts = false;
    uint64_t pts = 0, dts = 0; // 33 bits, 90 kHz
    // The second byte of the stream key: for private streams 1 and 2 the sub-stream id
    // (the first payload byte), for the extended stream id the stream_id_extension byte
    // whole (flag bit included).
    bool hasSubId = false;
    uint8_t subId = 0;
    uint32_t subIdAt = 0;
};

struct PackPackets {
    PackStatus status = PackStatus::NotAPack;
    uint32_t end = 0; // bytes walked: where the walk stopped
    PackHeader header;
    bool hasSystemHeader = false;
    SystemHeader system;
    uint32_t count = 0;
    std::array<PesPacket, kMaxPackPackets> packets{};

    std::span<const PesPacket> pes() const { return {packets.data(), count}; }
};

// Reads the pack that starts at the first byte of `pack` (to its end, or to the next pack
// start code). A system header or packet that the bytes end inside is still reported,
// marked, with whatever of it was given.
PackPackets readPack(std::span<const uint8_t> pack);
// The same into `out`, whose packets past the ones found are left as they were: the form
// for a loop over many packs.
void readPack(std::span<const uint8_t> pack, PackPackets& out);

// How many bytes after a pack start code hold the pack header's fields, by the first of
// them: 10 (MPEG-2, its stuffing not counted), 8 (MPEG-1), 0 when it starts neither.
size_t packHeaderFieldBytes(uint8_t first);
// The fields from those bytes (p at the byte after the start code), which the caller
// checked are there: packHeaderFieldBytes(p[0]) of them, not 0.
void readPackHeaderFields(const uint8_t* p, PackHeader& h);

// The 33-bit value of a 5-byte PES time-stamp field.
uint64_t pesTimestamp(const uint8_t* field);

} // namespace qf
