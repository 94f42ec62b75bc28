#include "samples/pswriter.h"

#include <algorithm>
#include <stdexcept>

namespace qf {

void putTimestamp(Bytes& out, uint8_t prefix, uint64_t ts) {
    out.push_back(static_cast<uint8_t>((prefix << 4) | (((ts >> 30) & 7) << 1) | 1));
    out.push_back(static_cast<uint8_t>(ts >> 22));
    out.push_back(static_cast<uint8_t>((((ts >> 15) & 0x7F) << 1) | 1));
    out.push_back(static_cast<uint8_t>(ts >> 7));
    out.push_back(static_cast<uint8_t>(((ts & 0x7F) << 1) | 1));
}

Bytes pesBytes(const Pes& pes) {
    Bytes hdr;
    uint8_t flags = 0;
    if (pes.pts && pes.dts)
        flags |= 0xC0;
    else if (pes.pts)
        flags |= 0x80;
    const bool ext = pes.streamIdExt || pes.pstd || pes.extensionOnly;
    if (ext) flags |= 0x01;
    if (pes.pts && pes.dts) {
        putTimestamp(hdr, 3, *pes.pts);
        putTimestamp(hdr, 1, *pes.dts);
    } else if (pes.pts) {
        putTimestamp(hdr, 2, *pes.pts);
    }
    if (ext) {
        uint8_t ef = 0x0E; // reserved bits
        if (pes.pstd) ef |= 0x10;
        if (pes.streamIdExt) ef |= 0x01;
        hdr.push_back(ef);
        if (pes.pstd) {
            hdr.push_back(0x60);
            hdr.push_back(0x00);
        }
        if (pes.streamIdExt) {
            hdr.push_back(0x81); // marker + field length 1
            hdr.push_back(static_cast<uint8_t>(*pes.streamIdExt & 0x7F));
        }
    }
    hdr.insert(hdr.end(), static_cast<size_t>(pes.stuffing), 0xFF);

    // Sized first and filled: inserts into a fresh small vector trip a false
    // -Warray-bounds of GCC 12 in release builds.
    Bytes out;
    out.reserve(9 + hdr.size() + pes.subHeader.size() + pes.payload.size());
    for (uint8_t b : {uint8_t{0x00}, uint8_t{0x00}, uint8_t{0x01}, pes.streamId, uint8_t{0},
                      uint8_t{0}, uint8_t{0x81}, flags, static_cast<uint8_t>(hdr.size())})
        out.push_back(b);
    out.insert(out.end(), hdr.begin(), hdr.end());
    out.insert(out.end(), pes.subHeader.begin(), pes.subHeader.end());
    out.insert(out.end(), pes.payload.begin(), pes.payload.end());
    size_t len = pes.lengthOverride ? *pes.lengthOverride : out.size() - 6;
    if (len > 0xFFFF) throw std::length_error("PES packet too long");
    out[4] = static_cast<uint8_t>(len >> 8);
    out[5] = static_cast<uint8_t>(len);
    return out;
}

Bytes packHeader(uint64_t scr, uint32_t muxRate, int stuffing) {
    Bytes p = {0x00, 0x00, 0x01, 0xBA};
    p.push_back(static_cast<uint8_t>(0x44 | (((scr >> 30) & 7) << 3) | ((scr >> 28) & 3)));
    p.push_back(static_cast<uint8_t>(scr >> 20));
    p.push_back(static_cast<uint8_t>((((scr >> 15) & 0x1F) << 3) | 0x04 | ((scr >> 13) & 3)));
    p.push_back(static_cast<uint8_t>(scr >> 5));
    p.push_back(static_cast<uint8_t>(((scr & 0x1F) << 3) | 0x04));
    p.push_back(0x01); // SCR extension 0 + marker
    p.push_back(static_cast<uint8_t>(muxRate >> 14));
    p.push_back(static_cast<uint8_t>(muxRate >> 6));
    p.push_back(static_cast<uint8_t>((muxRate << 2) | 0x03));
    p.push_back(static_cast<uint8_t>(0xF8 | (stuffing & 7)));
    p.insert(p.end(), static_cast<size_t>(stuffing & 7), 0xFF);
    return p;
}

Bytes systemHeader(int audioBound, int videoBound) {
    Bytes s = {0x00, 0x00, 0x01, 0xBB, 0x00, 0x0C, 0x80, 0x00, 0x01};
    s.push_back(static_cast<uint8_t>((audioBound << 2) | 0x01)); // fixed 0, CSPS 1
    s.push_back(static_cast<uint8_t>(0xE0 | (videoBound & 0x1F)));
    s.push_back(0x7F);
    s.insert(s.end(), {0xB9, 0xE0, 0xE8, 0xB8, 0xC0, 0x20});
    return s;
}

Bytes paddingPacket(size_t total) {
    if (total < 6) throw std::invalid_argument("padding packet needs 6 bytes");
    Bytes p(total, 0xFF);
    const uint8_t head[6] = {0x00,
                             0x00,
                             0x01,
                             0xBE,
                             static_cast<uint8_t>((total - 6) >> 8),
                             static_cast<uint8_t>(total - 6)};
    std::copy(std::begin(head), std::end(head), p.begin());
    return p;
}

Bytes navPack(int audioBound, int videoBound, uint64_t scr) {
    Bytes p = packHeader(scr);
    Bytes sh = systemHeader(audioBound, videoBound);
    p.insert(p.end(), sh.begin(), sh.end());
    // PCI and DSI packets of private stream 2; their contents are not examined.
    const size_t pci = 980, dsi = kPackSize - p.size() - pci;
    for (size_t total : {pci, dsi}) {
        Bytes pkt = {0x00,
                     0x00,
                     0x01,
                     0xBF,
                     static_cast<uint8_t>((total - 6) >> 8),
                     static_cast<uint8_t>(total - 6),
                     static_cast<uint8_t>(total == pci ? 0 : 1)};
        pkt.resize(total, 0x00);
        p.insert(p.end(), pkt.begin(), pkt.end());
    }
    return p;
}

Bytes subHeaderAudio(uint8_t id) {
    return {id, 0x01, 0x00, 0x01};
}
Bytes subHeaderLpcm(uint8_t id, uint8_t bitsAndRate, uint8_t channels) {
    return {id, 0x01, 0x00, 0x01, 0x00, bitsAndRate, channels};
}
Bytes subHeaderTrueHD(uint8_t id) {
    return {id, 0x01, 0x00, 0x01, 0x00};
}
Bytes subHeaderSub(uint8_t id) {
    return {id};
}

Bytes PsMuxer::build(bool navPacks, int audioBound, int videoBound) const {
    struct Cursor {
        size_t unit = 0, offset = 0;
    };
    std::vector<Cursor> cur(tracks_.size());
    auto finished = [&](size_t t) { return cur[t].unit >= tracks_[t].units.size(); };
    Bytes out;
    size_t packs = 0;
    uint64_t scr = 0;
    for (;;) {
        bool any = false;
        for (size_t t = 0; t < tracks_.size(); ++t) {
            if (finished(t)) continue;
            any = true;
            if (navPacks && packs % 32 == 0) {
                Bytes nav = navPack(audioBound, videoBound, scr);
                out.insert(out.end(), nav.begin(), nav.end());
                ++packs;
            }
            const Track& tr = tracks_[t];
            Cursor& c = cur[t];
            Pes pes;
            pes.streamId = tr.streamId;
            pes.streamIdExt = tr.streamIdExt;
            pes.subHeader = tr.subHeader;
            const bool unitStart = c.offset == 0;
            if (unitStart || tr.ptsOnEveryPacket) {
                uint64_t pts = tr.ptsStart + tr.ptsStep * c.unit;
                pes.pts = pts;
                if (tr.withDts) pes.dts = pts - std::min<uint64_t>(pts, tr.ptsStep);
            }
            Bytes head = packHeader(scr);
            size_t room = kPackSize - head.size() - pesBytes(pes).size();
            const Bytes& unit = tr.units[c.unit];
            size_t take = std::min({room, unit.size() - c.offset, tr.maxPayload});
            // Too little room for a padding packet: stuff the PES header instead.
            size_t left = room - take;
            if (left > 0 && left < 6) pes.stuffing = static_cast<int>(left);
            pes.payload.assign(unit.begin() + static_cast<std::ptrdiff_t>(c.offset),
                               unit.begin() + static_cast<std::ptrdiff_t>(c.offset + take));
            c.offset += take;
            if (c.offset >= unit.size()) {
                ++c.unit;
                c.offset = 0;
            }
            Bytes pkt = pesBytes(pes);
            out.insert(out.end(), head.begin(), head.end());
            out.insert(out.end(), pkt.begin(), pkt.end());
            size_t fill = kPackSize - head.size() - pkt.size();
            if (fill) {
                Bytes pad = paddingPacket(fill);
                out.insert(out.end(), pad.begin(), pad.end());
            }
            ++packs;
            scr += 300;
        }
        if (!any) break;
    }
    return out;
}

} // namespace qf
