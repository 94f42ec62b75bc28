#pragma once
// Writes program streams: pack headers, system headers, navigation packs, PES packets
// with PTS/DTS and extensions, private-stream-1 sub-stream headers, padding, and an
// interleaving muxer of whole 2048-byte packs. Used for the sample disc and by tests.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kPackSize = 2048;

struct Pes {
    uint8_t streamId = 0xE0;
    std::optional<uint64_t> pts, dts;   // 33-bit values
    std::optional<uint8_t> streamIdExt; // PES extension 2 with stream_id_extension (for 0xFD)
    bool pstd = false;                  // P-STD buffer field in the PES extension
    bool extensionOnly = false;         // PES extension flag byte without extension 2
    int stuffing = 0;                   // 0xFF bytes at the end of the PES header
    Bytes subHeader;                    // private-stream-1 sub-stream header (after the PES header)
    Bytes payload;
    std::optional<uint16_t> lengthOverride; // write this PES_packet_length instead
};

// 5-byte time-stamp field with the given 4-bit prefix ('0010' PTS only, '0011'/'0001' pair).
void putTimestamp(Bytes& out, uint8_t prefix, uint64_t ts);
Bytes pesBytes(const Pes& pes);
Bytes packHeader(uint64_t scr = 0, uint32_t muxRate = 25200, int stuffing = 0);
// System header with the given bounds (18 bytes: header, two stream entries).
Bytes systemHeader(int audioBound, int videoBound);
// A padding packet of exactly `total` bytes (total >= 6).
Bytes paddingPacket(size_t total);
// A 2048-byte navigation pack: pack header, system header, two private-stream-2 packets.
Bytes navPack(int audioBound = 1, int videoBound = 1, uint64_t scr = 0);

// Private-stream-1 sub-stream headers: 4 bytes (AC-3, DTS, E-AC-3), 7 (LPCM), 5 (TrueHD),
// 1 (subpicture: the id alone).
Bytes subHeaderAudio(uint8_t id);
Bytes subHeaderLpcm(uint8_t id, uint8_t bitsAndRate = 0x00, uint8_t channels = 0x01);
Bytes subHeaderTrueHD(uint8_t id);
Bytes subHeaderSub(uint8_t id);

// Interleaves tracks into 2048-byte packs, one PES packet per pack, padded to size.
class PsMuxer {
public:
    struct Track {
        uint8_t streamId = 0xE0;
        std::optional<uint8_t> streamIdExt; // for 0xFD (VC-1: 0x55)
        Bytes subHeader;                    // repeated before every packet's payload
        std::vector<Bytes> units;           // each unit starts a packet that carries a PTS
        uint64_t ptsStart = 90000;
        uint64_t ptsStep = 3600; // per unit
        bool withDts = false;    // PTS and DTS (DTS = PTS - ptsStep)
        bool ptsOnEveryPacket = false;
        size_t maxPayload = 2000; // payload bytes per packet at most
    };
    void add(Track t) { tracks_.push_back(std::move(t)); }
    // First pack carries the system header when navPacks is set (a navigation pack
    // starts every 32 packs). The result is a whole number of packs.
    Bytes build(bool navPacks = true, int audioBound = 1, int videoBound = 1) const;

private:
    std::vector<Track> tracks_;
};

} // namespace qf
