#include "engine/caption_lookahead.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/packet.h"

namespace qf {

namespace {

constexpr size_t kLookahead = 64 << 10; // enough for the first captions' control codes

// Where the next pack start code is at or after `at`, or the block's size.
size_t nextPack(std::span<const uint8_t> b, size_t at) {
    static constexpr uint8_t kCode[4] = {0, 0, 1, 0xBA};
    while (at + 4 <= b.size()) {
        const void* hit = std::memchr(b.data() + at, 0, b.size() - at - 3);
        if (!hit) break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - b.data());
        if (std::memcmp(b.data() + at, kCode, 4) == 0) return at;
        ++at;
    }
    return b.size();
}

} // namespace

CaptionChannels leadingCaptions(std::span<const uint8_t> block, size_t from, size_t n,
                                uint8_t streamId, VideoCoding coding) {
    if (from >= block.size()) return {};
    n = std::min(n, block.size() - from);
    std::vector<uint8_t> es(block.begin() + static_cast<std::ptrdiff_t>(from),
                            block.begin() + static_cast<std::ptrdiff_t>(from + n));
    PackPackets pack;
    for (size_t at = nextPack(block, from + n); at < block.size() && es.size() < kLookahead;) {
        readPack(block.subspan(at), pack);
        for (const PesPacket& p : pack.pes())
            if (p.streamId == streamId && p.headerRead && p.payloadLength > 0) {
                const uint8_t* payload = block.data() + at + p.payloadOffset;
                es.insert(es.end(), payload, payload + p.payloadLength);
            }
        if (pack.status == PackStatus::Truncated) break;
        at = nextPack(block, at + std::max<size_t>(pack.end, 4));
    }
    return captionChannels(es, coding);
}

void addLine21Flags(CaptionChannels& channels, bool field1, bool field2) {
    if (field1 && !channels.onField(1)) channels.present[0] = true;
    if (field2 && !channels.onField(2)) channels.present[2] = true;
}

} // namespace qf
