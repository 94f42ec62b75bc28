#include "jobs/pgs.h"

#include <algorithm>
#include <cmath>

#include "engine/timeline.h"
#include "jobs/subpicture_unit.h"

namespace qf {

namespace {

constexpr size_t kSegmentBody = 0xFFFF;

enum : uint8_t { kPds = 0x14, kOds = 0x15, kPcs = 0x16, kWds = 0x17, kEnd = 0x80 };

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

// 0xRRGGBB as studio-range BT.601 Y, Cr, Cb, as the disc's own palettes are.
std::array<uint8_t, 3> rgbToYcrcb(uint32_t rgb) {
    const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    const auto clamp = [](double v) {
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    return {clamp(16 + 0.257 * r + 0.504 * g + 0.098 * b),
            clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b),
            clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b)};
}

} // namespace

std::vector<uint8_t> pgsRle(const std::vector<uint8_t>& pixels, int width, int height) {
    std::vector<uint8_t> out;
    out.reserve(pixels.size() / 4 + static_cast<size_t>(height) * 2);
    for (int y = 0; y < height; ++y) {
        const uint8_t* line = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width;) {
            const uint8_t c = line[x];
            int run = 1;
            while (x + run < width && run < 16383 && line[x + run] == c) ++run;
            if (c != 0 && run <= 2) {
                out.insert(out.end(), static_cast<size_t>(run), c); // a pixel a byte
            } else {
                out.push_back(0);
                const auto flags =
                    static_cast<uint8_t>((c != 0 ? 0x80 : 0) | (run >= 64 ? 0x40 : 0));
                if (run >= 64) {
                    out.push_back(static_cast<uint8_t>(flags | run >> 8));
                    out.push_back(static_cast<uint8_t>(run));
                } else {
                    out.push_back(static_cast<uint8_t>(flags | run));
                }
                if (c != 0) out.push_back(c);
            }
            x += run;
        }
        out.push_back(0); // end of line
        out.push_back(0);
    }
    return out;
}

PgsWriter::PgsWriter(std::unique_ptr<Stream> out, PgsOptions options)
    : out_(std::move(out)), options_(options) {}

void PgsWriter::unitStart(uint64_t pts, bool) {
    gatherer_.restart();
    timed_ = true;
    pts_ = pts;
}

void PgsWriter::write(const void* buf, size_t n) {
    gatherer_.feed(static_cast<const uint8_t*>(buf), n, [this] { unitDone(); });
}

void PgsWriter::unitDone() {
    struct Reset {
        PgsWriter& w;
        ~Reset() { w.timed_ = false; }
    } reset{*this};
    if (!timed_) {
        gatherer_.countUnfinished(); // a unit without a time of its own cannot be placed
        return;
    }
    UnitControls c;
    std::vector<uint8_t> pixels;
    const std::vector<uint8_t>& unit = gatherer_.unit();
    if (!readUnitControls(unit.data(), unit.size(), c) ||
        !decodeUnitBitmap(unit.data(), unit.size(), c, pixels)) {
        ++unreadable_;
        return;
    }
    // The times the "SP" records have: from the origin, cut to the field's 32 bits.
    const int64_t ticks = options_.hasOrigin ? timeline::stampDelta(options_.origin, pts_)
                                             : static_cast<int64_t>(pts_);
    SubpictureUnit u;
    u.timeMs = (ticks * 2 + (ticks < 0 ? -90 : 90)) / 180;
    u.forced = c.forced;
    if (options_.forcedOnly && !c.forced) {
        units_.add(u);
        return;
    }
    const auto start = static_cast<uint32_t>(ticks + int64_t{c.startDate} * 1024);

    // The palette entries the bitmap uses: Y, Cr, Cb and opacity.
    std::array<bool, 256> used{};
    for (uint8_t v : pixels) used[v] = true;
    if (c.palette) palette_.assign(c.palette, c.palette + 768);
    if (c.transparency) transparency_.assign(c.transparency, c.transparency + 256);
    std::vector<std::array<uint8_t, 5>> entries;
    for (size_t v = 0; v < 256; ++v) {
        if (!used[v]) continue;
        std::array<uint8_t, 5> e{static_cast<uint8_t>(v), 16, 128, 128, 255};
        if (c.eightBit) {
            if (palette_.size() == 768) {
                e[1] = palette_[3 * v], e[2] = palette_[3 * v + 1], e[3] = palette_[3 * v + 2];
            } else { // no palette yet: a grey ramp keeps the values apart
                e[1] = static_cast<uint8_t>(16 + v * 219 / 255);
            }
            if (transparency_.size() == 256) e[4] = static_cast<uint8_t>(255 - transparency_[v]);
        } else {
            const uint8_t entry = c.colour[v & 3];
            if (c.palette) {
                e[1] = c.palette[3 * entry], e[2] = c.palette[3 * entry + 1],
                e[3] = c.palette[3 * entry + 2];
            } else {
                const auto ycrcb = rgbToYcrcb(options_.palette[entry & 0xF]);
                e[1] = ycrcb[0], e[2] = ycrcb[1], e[3] = ycrcb[2];
            }
            e[4] = static_cast<uint8_t>(c.contrast[v & 3] * 17);
        }
        entries.push_back(e);
    }
    const int w = c.width(), h = c.height();
    displaySet(pixels, c.x1, c.y1, w, h, entries, start, c.forced);
    if (c.stopDate >= 0)
        clearSet(static_cast<uint32_t>(ticks + int64_t{c.stopDate} * 1024), c.x1, c.y1, w, h);
    u.written = true;
    units_.add(u);
}

void PgsWriter::segment(uint8_t type, uint32_t pts, const std::vector<uint8_t>& body) {
    segment_.assign({'P', 'G', static_cast<uint8_t>(pts >> 24), static_cast<uint8_t>(pts >> 16),
                     static_cast<uint8_t>(pts >> 8), static_cast<uint8_t>(pts), 0, 0, 0, 0, type,
                     static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())});
    segment_.insert(segment_.end(), body.begin(), body.end());
    out_->write(segment_.data(), segment_.size());
}

void PgsWriter::displaySet(const std::vector<uint8_t>& pixels, int x, int y, int w, int h,
                           const std::vector<std::array<uint8_t, 5>>& palette, uint32_t pts,
                           bool forced) {
    std::vector<uint8_t> b;
    // Each unit is an epoch of its own: a player needs nothing from the one before.
    put16(b, static_cast<uint32_t>(options_.width));
    put16(b, static_cast<uint32_t>(options_.height));
    b.insert(b.end(), {0x10});
    put16(b, composition_++);
    b.insert(b.end(), {0x80, 0x00, 0x00, 0x01});
    put16(b, 0);                                                           // object 0
    b.insert(b.end(), {0x00, static_cast<uint8_t>(forced ? 0x40 : 0x00)}); // window 0
    put16(b, static_cast<uint32_t>(x));
    put16(b, static_cast<uint32_t>(y));
    segment(kPcs, pts, b);

    b.assign({0x01, 0x00});
    put16(b, static_cast<uint32_t>(x));
    put16(b, static_cast<uint32_t>(y));
    put16(b, static_cast<uint32_t>(w));
    put16(b, static_cast<uint32_t>(h));
    segment(kWds, pts, b);

    b.assign({0x00, 0x00});
    for (const auto& e : palette) b.insert(b.end(), e.begin(), e.end());
    segment(kPds, pts, b);

    const std::vector<uint8_t> rle = pgsRle(pixels, w, h);
    const size_t length = rle.size() + 4; // the size fields count
    size_t at = 0;
    bool first = true;
    do {
        b.assign({0x00, 0x00, 0x00, 0x00}); // object 0, version 0, where in the sequence
        if (first) {
            b.insert(b.end(), {static_cast<uint8_t>(length >> 16),
                               static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
            put16(b, static_cast<uint32_t>(w));
            put16(b, static_cast<uint32_t>(h));
        }
        const size_t take = std::min(rle.size() - at, kSegmentBody - b.size());
        b.insert(b.end(), rle.begin() + static_cast<std::ptrdiff_t>(at),
                 rle.begin() + static_cast<std::ptrdiff_t>(at + take));
        at += take;
        b[3] = static_cast<uint8_t>((first ? 0x80 : 0) | (at == rle.size() ? 0x40 : 0));
        segment(kOds, pts, b);
        first = false;
    } while (at < rle.size());
    segment(kEnd, pts, {});
}

void PgsWriter::clearSet(uint32_t pts, int x, int y, int w, int h) {
    std::vector<uint8_t> b;
    put16(b, static_cast<uint32_t>(options_.width));
    put16(b, static_cast<uint32_t>(options_.height));
    b.insert(b.end(), {0x10});
    put16(b, composition_++);
    b.insert(b.end(), {0x00, 0x00, 0x00, 0x00}); // no object: nothing shows
    segment(kPcs, pts, b);
    b.assign({0x01, 0x00});
    put16(b, static_cast<uint32_t>(x));
    put16(b, static_cast<uint32_t>(y));
    put16(b, static_cast<uint32_t>(w));
    put16(b, static_cast<uint32_t>(h));
    segment(kWds, pts, b);
    segment(kEnd, pts, {});
}

void PgsWriter::finish() {
    gatherer_.restart();
}

} // namespace qf
