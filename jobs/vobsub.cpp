#include "jobs/vobsub.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "engine/dvd_disc.h"
#include "engine/timeline.h"
#include "jobs/subpicture_unit.h"

namespace qf {

const std::array<uint32_t, 16> kDefaultVobSubPalette = {
    0x000000, 0xf0f0f0, 0xcccccc, 0x999999, 0x3333fa, 0x1111bb, 0xfa3333, 0xbb1111,
    0x33fa33, 0x11bb11, 0xfafa33, 0xbbbb11, 0xfa33fa, 0xbb11bb, 0x33fafa, 0x11bbbb,
};

namespace {

constexpr size_t kPack = 2048;
constexpr size_t kPackHeader = 14;
constexpr size_t kIndexPiece = 64 << 10; // index text handed over at a time
constexpr uint32_t kMuxRate = 25200;     // 10.08 Mbit/s in units of 50 bytes/s, as DVDs say

unsigned be16(const uint8_t* p) {
    return static_cast<unsigned>(p[0] << 8 | p[1]);
}

void putPackHeader(uint8_t* p, uint64_t scr) {
    p[0] = 0, p[1] = 0, p[2] = 1, p[3] = 0xBA;
    p[4] = static_cast<uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03));
    p[5] = static_cast<uint8_t>(scr >> 20);
    p[6] = static_cast<uint8_t>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03));
    p[7] = static_cast<uint8_t>(scr >> 5);
    p[8] = static_cast<uint8_t>(((scr << 3) & 0xF8) | 0x04);
    p[9] = 0x01;
    p[10] = static_cast<uint8_t>(kMuxRate >> 14);
    p[11] = static_cast<uint8_t>(kMuxRate >> 6);
    p[12] = static_cast<uint8_t>(((kMuxRate << 2) & 0xFC) | 0x03);
    p[13] = 0xF8; // no stuffing
}

void putPts(uint8_t* p, uint64_t pts) {
    p[0] = static_cast<uint8_t>(0x21 | ((pts >> 29) & 0x0E));
    p[1] = static_cast<uint8_t>(pts >> 22);
    p[2] = static_cast<uint8_t>(((pts >> 14) & 0xFE) | 1);
    p[3] = static_cast<uint8_t>(pts >> 7);
    p[4] = static_cast<uint8_t>(((pts << 1) & 0xFE) | 1);
}

} // namespace

bool forcedUnit(const uint8_t* unit, size_t size) {
    if (size < 4 || (unit[0] == 0 && unit[1] == 0)) return false; // 8-bit RLE: other commands
    size_t at = be16(unit + 2);
    // The sequences link to each other; the last links to itself.
    for (int sequences = 0; sequences < 64 && at + 4 <= size; ++sequences) {
        const size_t next = be16(unit + at + 2);
        size_t i = at + 4;
        while (i < size && unit[i] != 0xFF) {
            const uint8_t cmd = unit[i++];
            if (cmd == 0x00) return true;
            static constexpr uint8_t kArgs[7] = {0, 0, 0, 2, 2, 6, 4};
            if (cmd > 0x06) break; // a command whose length is not known ends the reading
            i += kArgs[cmd];
        }
        if (next == at) break;
        at = next;
    }
    return false;
}

std::string vobSubTime(int64_t ms) {
    if (ms < 0) ms = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld:%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return buf;
}

VobSubWriter::VobSubWriter(std::unique_ptr<Stream> sub, std::unique_ptr<Stream> idx,
                           VobSubIndex index)
    : sub_(std::move(sub)), idx_(std::move(idx)), index_(std::move(index)) {}

std::string VobSubWriter::indexHead() const {
    std::string text = "# VobSub index file, v7 (do not modify this line!)\n";
    text += "size: " + std::to_string(index_.width) + "x" + std::to_string(index_.height) + "\n";
    text += "org: 0, 0\nscale: 100%, 100%\nalpha: 100%\nsmooth: OFF\nfadein/out: 0, 0\n"
            "align: OFF at LEFT TOP\ntime offset: 0\nforced subs: OFF\npalette: ";
    char buf[16];
    for (size_t i = 0; i < index_.palette.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%06x", i ? ", " : "", index_.palette[i] & 0xFFFFFFu);
        text += buf;
    }
    text += "\ncustom colors: OFF, tridx: 0000, colors: 000000, 000000, 000000, 000000\n";
    text += "langidx: 0\n";
    text +=
        "id: " + (index_.language.empty() ? std::string("--") : index_.language) + ", index: 0\n";
    return text;
}

void VobSubWriter::takeUnitPalette() {
    UnitControls c;
    const std::vector<uint8_t>& unit = gatherer_.unit();
    if (!readUnitControls(unit.data(), unit.size(), c) || !c.palette) return;
    for (size_t i = 0; i < index_.palette.size(); ++i) {
        const uint8_t* e = c.palette + 3 * i; // Y, Cr, Cb
        index_.palette[i] = ycrcbToRgb(static_cast<uint32_t>(e[0] << 16 | e[1] << 8 | e[2]));
    }
    unitPalette_ = true;
}

void VobSubWriter::unitStart(uint64_t pts, bool sharesPack) {
    gatherer_.restart();
    timed_ = true;
    pts_ = pts;
    sharesPack_ = sharesPack;
}

void VobSubWriter::write(const void* buf, size_t n) {
    gatherer_.feed(static_cast<const uint8_t*>(buf), n, [this] { unitDone(); });
}

void VobSubWriter::unitDone() {
    SubpictureUnit u;
    if (index_.paletteFromUnits && !headWritten_ && !unitPalette_) takeUnitPalette();
    if (timed_) {
        // Time stamps wrap at 2^33 ticks; the difference is taken the short way.
        const int64_t ticks = timeline::stampDelta(index_.videoStartPts, pts_);
        u.timeMs = (ticks * 2 + (ticks < 0 ? -90 : 90)) / 180;
        const std::vector<uint8_t>& unit = gatherer_.unit();
        u.forced = forcedUnit(unit.data(), unit.size());
        if (ticks < 0)
            ++beforeStart_;
        else if (sharesPack_)
            ++sharingPack_;
        else if (!index_.forcedOnly || u.forced) {
            char line[64];
            std::snprintf(line, sizeof line, "timestamp: %s, filepos: %09llx\n",
                          vobSubTime(u.timeMs).c_str(),
                          static_cast<unsigned long long>(sub_->position()));
            indexText_ += line;
            writePacks(unit.data(), unit.size(), static_cast<uint64_t>(ticks));
            u.written = true;
            if (indexText_.size() >= kIndexPiece) writeIndex();
        }
        units_.add(u);
    } else {
        gatherer_.countUnfinished(); // a unit without a time of its own cannot be placed
    }
    timed_ = sharesPack_ = false;
}

void VobSubWriter::writePacks(const uint8_t* unit, size_t size, uint64_t pts) {
    uint8_t pack[kPack];
    size_t at = 0;
    bool first = true;
    while (at < size) {
        const size_t ptsLen = first ? 5 : 0;
        // Pack header, PES start and length, two flag bytes, header length, sub-stream id.
        const size_t overhead = kPackHeader + 6 + 3 + ptsLen + 1;
        const size_t take = std::min(kPack - overhead, size - at);
        const size_t left = kPack - overhead - take;
        // A padding packet needs 6 bytes; fewer go into the PES header as stuffing.
        const size_t stuffing = left < 6 ? left : 0;
        putPackHeader(pack, pts);
        uint8_t* p = pack + kPackHeader;
        const size_t pesLength = 3 + ptsLen + stuffing + 1 + take;
        *p++ = 0, *p++ = 0, *p++ = 1, *p++ = 0xBD;
        *p++ = static_cast<uint8_t>(pesLength >> 8);
        *p++ = static_cast<uint8_t>(pesLength);
        *p++ = 0x81;
        *p++ = first ? 0x80 : 0x00;
        *p++ = static_cast<uint8_t>(ptsLen + stuffing);
        if (first) {
            putPts(p, pts);
            p += 5;
        }
        std::fill(p, p + stuffing, uint8_t{0xFF});
        p += stuffing;
        *p++ = 0x20; // every file holds one stream, the first
        std::copy(unit + at, unit + at + take, p);
        p += take;
        if (left >= 6) {
            const size_t padLength = left - 6;
            *p++ = 0, *p++ = 0, *p++ = 1, *p++ = 0xBE;
            *p++ = static_cast<uint8_t>(padLength >> 8);
            *p++ = static_cast<uint8_t>(padLength);
            std::fill(p, p + padLength, uint8_t{0xFF});
        }
        sub_->write(pack, kPack);
        at += take;
        first = false;
    }
}

void VobSubWriter::writeIndex() {
    if (!headWritten_) {
        indexText_.insert(0, indexHead());
        headWritten_ = true;
    }
    idx_->write(indexText_.data(), indexText_.size());
    indexText_.clear();
}

void VobSubWriter::finish() {
    gatherer_.restart();
    writeIndex();
}

} // namespace qf
