#include "engine/packet.h"

namespace qf {

namespace {

constexpr uint8_t kPackStart = 0xBA;
constexpr uint8_t kSystemHeaderStart = 0xBB;
constexpr uint8_t kProgramEnd = 0xB9;
constexpr uint8_t kPrivate1 = 0xBD;
constexpr uint8_t kPrivate2 = 0xBF;
constexpr uint8_t kExtended = 0xFD;

// Stream ids whose packets carry no packet header: the payload follows the length field.
constexpr bool headerless(uint8_t id) {
    return id == 0xBC || id == kPaddingStream || id == kPrivate2 || id == 0xF0 || id == 0xF1 ||
           id == 0xF2 || id == 0xF8 || id == 0xFF;
}

bool startCodeAt(std::span<const uint8_t> b, size_t at) {
    return b.size() - at >= 4 && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1;
}

bool readPackHeader(std::span<const uint8_t> b, PackHeader& h, PackStatus& status) {
    if (b.size() < 5) {
        status = PackStatus::Truncated;
        return false;
    }
    const size_t fields = packHeaderFieldBytes(b[4]);
    if (fields == 0) {
        status = PackStatus::Malformed;
        return false;
    }
    if (b.size() < 4 + fields) {
        status = PackStatus::Truncated;
        return false;
    }
    readPackHeaderFields(b.data() + 4, h);
    if (b.size() < h.length) {
        status = PackStatus::Truncated;
        return false;
    }
    return true;
}

// The system header at `at`; false ends the walk.
bool readSystemHeader(std::span<const uint8_t> b, size_t at, PackPackets& out) {
    if (b.size() - at < 6) {
        out.status = PackStatus::Truncated;
        return false;
    }
    const size_t length = 6 + ((size_t{b[at + 4]} << 8) | b[at + 5]);
    if (length < 12) { // rate bound, the two bounds and the restriction flag at least
        out.status = PackStatus::Malformed;
        return false;
    }
    const bool whole = b.size() - at >= length;
    if (b.size() - at >= 12 && !out.hasSystemHeader) {
        SystemHeader& s = out.system;
        s.offset = static_cast<uint32_t>(at);
        s.length = static_cast<uint32_t>(length);
        s.rateBound =
            (uint32_t{b[at + 6] & 0x7Fu} << 15) | (uint32_t{b[at + 7]} << 7) | (b[at + 8] >> 1);
        s.audioBoundAt = static_cast<uint32_t>(at + 9);
        s.videoBoundAt = static_cast<uint32_t>(at + 10);
        s.audioBound = b[at + 9] >> 2;
        s.videoBound = b[at + 10] & 0x1F;
        out.hasSystemHeader = true;
    }
    if (!whole) {
        out.status = PackStatus::Truncated;
        return false;
    }
    out.end = static_cast<uint32_t>(at + length);
    return true;
}

// The MPEG-2 packet header from `p` (the first flag byte) up to `end`, which the caller
// checked the header-length byte against. False: a field overruns the header.
bool readMpeg2Fields(const uint8_t* p, size_t headerEnd, PesPacket& pkt, const uint8_t* base) {
    const uint8_t flags = p[1];
    size_t at = static_cast<size_t>(p - base) + 3;
    auto take = [&](size_t n) {
        if (headerEnd - at < n) return false;
        at += n;
        return true;
    };
    if ((flags & 0xC0) == 0x80 || (flags & 0xC0) == 0xC0) {
        const size_t ts = at;
        if (!take((flags & 0x40) ? 10 : 5)) return false;
        pkt.hasPts = true;
        pkt.pts = pesTimestamp(base + ts);
        if (flags & 0x40) {
            pkt.hasDts = true;
            pkt.dts = pesTimestamp(base + ts + 5);
        }
    }
    if ((flags & 0x20) && !take(6)) return false; // ESCR
    if ((flags & 0x10) && !take(3)) return false; // ES rate
    if ((flags & 0x08) && !take(1)) return false; // DSM trick mode
    if ((flags & 0x04) && !take(1)) return false; // additional copy info
    if ((flags & 0x02) && !take(2)) return false; // previous PES CRC
    if (!(flags & 0x01)) return true;
    if (!take(1)) return false;
    const uint8_t ext = base[at - 1];
    if ((ext & 0x80) && !take(16)) return false; // private data
    if (ext & 0x40) {                            // pack header field
        if (!take(1) || !take(base[at - 1])) return false;
    }
    if ((ext & 0x20) && !take(2)) return false; // sequence counter
    if ((ext & 0x10) && !take(2)) return false; // P-STD buffer
    if (!(ext & 0x01)) return true;
    if (!take(1)) return false;
    const size_t fieldLength = base[at - 1] & 0x7F;
    if (headerEnd - at < fieldLength) return false;
    if (fieldLength >= 1 && pkt.streamId == kExtended) {
        pkt.hasSubId = true;
        pkt.subId = base[at];
        pkt.subIdAt = static_cast<uint32_t>(at);
    }
    return true;
}

// The MPEG-1 packet header from `at` (after the length field) up to `end`: its length,
// or 0 when it is not one.
size_t mpeg1HeaderLength(std::span<const uint8_t> b, size_t at, size_t end, PesPacket& pkt) {
    const size_t start = at;
    for (int k = 0; k < 16 && at < end && b[at] == 0xFF; ++k) ++at;
    if (at < end && (b[at] & 0xC0) == 0x40) at += 2; // STD buffer
    if (at >= end) return 0;
    const uint8_t kind = b[at] & 0xF0;
    const size_t fields = kind == 0x20 ? 5 : kind == 0x30 ? 10 : b[at] == 0x0F ? 1 : 0;
    if (fields == 0 || end - at < fields) return 0;
    if (fields > 1) {
        pkt.hasPts = true;
        pkt.pts = pesTimestamp(b.data() + at);
    }
    if (fields == 10) {
        pkt.hasDts = true;
        pkt.dts = pesTimestamp(b.data() + at + 5);
    }
    return at + fields - start;
}

// The packet at `at`; false ends the walk (status set).
bool readPes(std::span<const uint8_t> b, size_t at, PackPackets& out) {
    if (b.size() - at < 6) {
        out.status = PackStatus::Truncated;
        return false;
    }
    if (out.count == kMaxPackPackets) {
        out.status = PackStatus::TooManyPackets;
        return false;
    }
    PesPacket& pkt = out.packets[out.count++];
    pkt = {};
    pkt.offset = static_cast<uint32_t>(at);
    pkt.streamId = b[at + 3];
    const size_t declared = (size_t{b[at + 4]} << 8) | b[at + 5];
    // A length of 0 (unbounded video, allowed only in transport streams) runs to the end.
    const size_t end = declared == 0 ? b.size() : at + 6 + declared;
    pkt.length = static_cast<uint32_t>(end - at);
    pkt.truncated = end > b.size();
    const size_t given = pkt.truncated ? b.size() : end;
    size_t header = 0;
    bool fieldsFit = true;
    if (!headerless(pkt.streamId)) {
        if (given - at < 7) return out.status = PackStatus::Truncated, false;
        if ((b[at + 6] & 0xC0) == 0x80) {
            if (end - at < 9) return out.status = PackStatus::Malformed, false;
            if (given - at < 9) return out.status = PackStatus::Truncated, false;
            header = 3 + size_t{b[at + 8]};
            if (end - (at + 6) < header) return out.status = PackStatus::Malformed, false;
            if (given - (at + 6) < header) return out.status = PackStatus::Truncated, false;
            fieldsFit = readMpeg2Fields(b.data() + at + 6, at + 6 + header, pkt, b.data());
        } else {
            pkt.mpeg1 = true;
            header = mpeg1HeaderLength(b, at + 6, given, pkt);
            if (header == 0) {
                out.status = given < end ? PackStatus::Truncated : PackStatus::Malformed;
                return false;
            }
        }
    }
    pkt.headerRead = true;
    pkt.headerLength = static_cast<uint32_t>(header);
    pkt.payloadOffset = static_cast<uint32_t>(at + 6 + header);
    pkt.payloadLength = static_cast<uint32_t>(given - pkt.payloadOffset);
    if ((pkt.streamId == kPrivate1 || pkt.streamId == kPrivate2) && pkt.payloadLength > 0) {
        pkt.hasSubId = true;
        pkt.subId = b[pkt.payloadOffset];
        pkt.subIdAt = pkt.payloadOffset;
    }
    if (!fieldsFit) return out.status = PackStatus::Malformed, false;
    if (pkt.truncated) return out.status = PackStatus::Truncated, false;
    out.end = static_cast<uint32_t>(end);
    return true;
}

} // namespace

size_t packHeaderFieldBytes(uint8_t first) {
    if ((first & 0xC0) == 0x40) return 10;
    if ((first & 0xF0) == 0x20) return 8;
    return 0;
}

void readPackHeaderFields(const uint8_t* p, PackHeader& h) {
    h = {};
    if ((p[0] & 0xC0) == 0x40) {
        h.scrBase = (uint64_t{p[0] & 0x38u} << 27) | (uint64_t{p[0] & 0x03u} << 28) |
                    (uint64_t{p[1]} << 20) | (uint64_t{p[2] & 0xF8u} << 12) |
                    (uint64_t{p[2] & 0x03u} << 13) | (uint64_t{p[3]} << 5) | (p[4] >> 3);
        h.scrExtension = static_cast<uint16_t>(((p[4] & 0x03u) << 7) | (p[5] >> 1));
        h.muxRate = (uint32_t{p[6]} << 14) | (uint32_t{p[7]} << 6) | (p[8] >> 2);
        h.stuffing = p[9] & 0x07;
        h.length = 14u + h.stuffing;
        return;
    }
    h.mpeg1 = true;
    h.scrBase = pesTimestamp(p);
    h.muxRate = (uint32_t{p[5] & 0x7Fu} << 15) | (uint32_t{p[6]} << 7) | (p[7] >> 1);
    h.length = 12;
}

uint64_t pesTimestamp(const uint8_t* f) {
    return (uint64_t{f[0] & 0x0Eu} << 29) | (uint64_t{f[1]} << 22) |
           (uint64_t{f[2] & 0xFEu} << 14) | (uint64_t{f[3]} << 7) | (f[4] >> 1);
}

void readPack(std::span<const uint8_t> b, PackPackets& out) {
    out.status = PackStatus::NotAPack;
    out.end = 0;
    out.header = {};
    out.hasSystemHeader = false;
    out.system = {};
    out.count = 0;
    if (b.size() > UINT32_MAX) b = b.first(UINT32_MAX); // offsets are 32-bit
    if (!startCodeAt(b, 0) || b[3] != kPackStart) return;
    out.status = PackStatus::Complete;
    if (!readPackHeader(b, out.header, out.status)) return;
    size_t at = out.header.length;
    out.end = static_cast<uint32_t>(at);
    while (at < b.size()) {
        if (!startCodeAt(b, at)) {
            out.status = b.size() - at < 4 ? PackStatus::Truncated : PackStatus::Unrecognised;
            return;
        }
        const uint8_t code = b[at + 3];
        if (code == kPackStart) return;
        if (code == kProgramEnd) {
            out.end = static_cast<uint32_t>(at + 4);
            return;
        }
        if (code == kSystemHeaderStart) {
            if (!readSystemHeader(b, at, out)) return;
        } else if (code > kSystemHeaderStart) {
            if (!readPes(b, at, out)) return;
        } else {
            out.status = PackStatus::Unrecognised;
            return;
        }
        at = out.end;
    }
}

PackPackets readPack(std::span<const uint8_t> b) {
    PackPackets out;
    readPack(b, out);
    return out;
}

} // namespace qf
