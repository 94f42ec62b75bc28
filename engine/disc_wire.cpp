// The serialised form of a disc's titles, from the child that read them to the program:
// little-endian fields, strings with a 16-bit length, formats as an index into one table.
#include <cmath>
#include <cstring>

#include "engine/codecs.h"
#include "engine/disc_reader.h"
#include "engine/ifo_check.h"

namespace qf {

namespace {

constexpr char kMagic[4] = {'Q', 'F', 'D', '2'};
constexpr size_t kMaxText = 4096;
constexpr size_t kMaxStreams = 1 + 8 + 32; // video, audio and subpicture of one title
// Seconds a cell and a title can last: BCD hours of a cell stop at 99, and a title plays
// at most 999 chains.
constexpr double kMaxCellSeconds = 1e6, kMaxTitleSeconds = 1e9;

struct Format {
    const char* name;
    Codec codec;
    Family family;
    int lastSub; // streams of the format: entry = firstEntry(codec) + 0..lastSub
};
constexpr Format kFormats[] = {
    {"MPEG-1", Codec::Mpeg2, Family::Video, 0},
    {"MPEG-2", Codec::Mpeg2, Family::Video, 0},
    {"AC-3", Codec::Ac3, Family::Audio, 7},
    {"MPEG-1 audio", Codec::MpegAudio, Family::Audio, 7},
    {"MPEG-2 audio", Codec::MpegAudio, Family::Audio, 7},
    {"LPCM", Codec::Lpcm, Family::Audio, 7},
    {"DTS", Codec::Dts, Family::Audio, 7},
    {"Subpicture", Codec::Subpicture, Family::Subpicture, 31},
};
constexpr size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

// Bytes of each part, for the bound on an answer.
constexpr size_t kStreamBytes = 8, kCellBytes = 4 + 4 + 8 + 1 + 2 + 1 + 1;
constexpr size_t kMenuBytes = 1 + 1 + 2 + 2 + 1 + 5 + 8 + 1 + 1 + 3 * kStreamBytes + 4;
constexpr size_t kTitleBytes = 3 + 2 + 5 + 8 + 16 * 4 + 1 + kMaxStreams * kStreamBytes + 4;

class Writer {
public:
    void u8(uint64_t v) { s_.push_back(static_cast<char>(v & 0xFF)); }
    void u16(uint64_t v) { u8(v), u8(v >> 8); }
    void u32(uint64_t v) { u16(v), u16(v >> 16); }
    void f64(double d) {
        uint64_t v = 0;
        std::memcpy(&v, &d, sizeof v);
        u32(v), u32(v >> 32);
    }
    void text(const std::string& t) {
        const std::string cut = t.substr(0, kMaxText);
        u16(cut.size());
        s_ += cut;
    }
    std::string take() { return std::move(s_); }

private:
    std::string s_;
};

// Every read checks that the bytes are there; a failed one leaves ok() false for good.
class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && at_ == s_.size(); }
    uint64_t u8() {
        if (!ok_ || at_ >= s_.size()) return ok_ = false, 0;
        return static_cast<unsigned char>(s_[at_++]);
    }
    // Each part read in turn: the operands of | are not sequenced.
    uint64_t u16() {
        const uint64_t low = u8();
        return low | u8() << 8;
    }
    uint64_t u32() {
        const uint64_t low = u16();
        return low | u16() << 16;
    }
    double f64() {
        const uint64_t low = u32();
        const uint64_t v = low | u32() << 32;
        double d = 0;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
    std::string text() {
        const uint64_t n = u16();
        if (!ok_ || n == 0 || n > kMaxText || n > s_.size() - at_) return ok_ = false, "";
        std::string t(s_.substr(at_, n));
        at_ += n;
        if (t.find('\0') != std::string::npos) ok_ = false;
        return t;
    }
    // A check on what was read.
    void need(bool condition) { ok_ = ok_ && condition; }

private:
    std::string_view s_;
    size_t at_ = 0;
    bool ok_ = true;
};

bool within(double v, double most) {
    return std::isfinite(v) && v >= 0 && v <= most;
}

void writeStream(Writer& w, const DiscStream& s) {
    size_t format = 0;
    while (format + 1 < kFormatCount && s.format != kFormats[format].name) ++format;
    w.u8(format);
    w.u8(static_cast<uint64_t>(s.entry - firstEntry(kFormats[format].codec)));
    w.u8(static_cast<uint64_t>(s.channels));
    const std::string code = s.language ? s.language->code : "";
    w.u8(code.size() == 2 ? static_cast<unsigned char>(code[0]) : 0);
    w.u8(code.size() == 2 ? static_cast<unsigned char>(code[1]) : 0);
    w.u8(s.sampleRate == 96000 ? 1 : 0);
    w.u8(static_cast<uint64_t>(s.application));
}

bool readStream(Reader& r, DiscStream& s) {
    const uint64_t format = r.u8(), sub = r.u8(), channels = r.u8();
    const auto a = static_cast<char>(r.u8()), b = static_cast<char>(r.u8());
    const uint64_t rate = r.u8(), application = r.u8();
    if (!r.ok() || format >= kFormatCount || rate > 1 || application > 2) return false;
    const Format& f = kFormats[format];
    if (sub > static_cast<uint64_t>(f.lastSub) || channels > 8) return false;
    s.family = f.family;
    s.entry = firstEntry(f.codec) + static_cast<int32_t>(sub);
    s.format = f.name;
    s.channels = static_cast<int>(channels);
    if (f.family == Family::Audio) {
        s.sampleRate = rate == 1 ? 96000 : 48000;
        s.application = static_cast<DiscStream::Application>(application);
    }
    if (a == 0 && b == 0) return true;
    if (a < 'a' || a > 'z' || b < 'a' || b > 'z') return false;
    s.language = StreamLanguage{std::string{a, b}, std::string{a, b}};
    return true;
}

// The picture: its flags in one byte, then its size.
void writeVideo(Writer& w, const DiscVideo& v) {
    w.u8((v.pal ? 1 : 0) | (v.wide ? 2 : 0) | (v.panScan ? 4 : 0) | (v.letterbox ? 8 : 0) |
         (v.captionsField1 ? 16 : 0) | (v.captionsField2 ? 32 : 0));
    w.u16(static_cast<uint64_t>(v.width));
    w.u16(static_cast<uint64_t>(v.height));
}

void readVideo(Reader& r, DiscVideo& v) {
    const uint64_t flags = r.u8();
    v.width = static_cast<int>(r.u16());
    v.height = static_cast<int>(r.u16());
    r.need(flags < 64 && (v.width == 720 || v.width == 704 || v.width == 352) &&
           (v.height == 576 || v.height == 480 || v.height == 288 || v.height == 240));
    v.pal = flags & 1;
    v.wide = flags & 2;
    v.panScan = flags & 4;
    v.letterbox = flags & 8;
    v.captionsField1 = flags & 16;
    v.captionsField2 = flags & 32;
}

bool readCells(Reader& r, std::vector<DiscCell>& list, size_t& cellsLeft);

bool readTitle(Reader& r, DiscTitle& t, size_t& cellsLeft) {
    t.number = static_cast<int>(r.u8());
    t.titleSet = static_cast<int>(r.u8());
    t.angles = static_cast<int>(r.u8());
    t.programChain = static_cast<int>(r.u16());
    readVideo(r, t.video);
    t.length = r.f64();
    r.need(t.number >= 1 && t.number <= kMaxTitles && t.titleSet >= 1 && t.titleSet <= 99 &&
           t.angles >= 1 && t.angles <= 9 && within(t.length, kMaxTitleSeconds));
    for (uint32_t& rgb : t.palette) {
        rgb = static_cast<uint32_t>(r.u32());
        r.need(rgb <= 0xFFFFFF);
    }
    const uint64_t streams = r.u8();
    r.need(streams <= kMaxStreams);
    for (uint64_t k = 0; r.ok() && k < streams; ++k)
        r.need(readStream(r, t.streams.emplace_back()));
    return readCells(r, t.cells, cellsLeft);
}

void writeCells(Writer& w, const std::vector<DiscCell>& cells) {
    w.u32(cells.size());
    for (const DiscCell& c : cells) {
        w.u32(c.sectors.first);
        w.u32(c.sectors.last);
        w.f64(c.seconds);
        w.u8(static_cast<uint64_t>(c.angle));
        w.u16(static_cast<uint64_t>(c.chapter));
        w.u8(c.interleaved ? 1 : 0);
        w.u8(static_cast<uint64_t>(c.still));
    }
}

void writeMenu(Writer& w, const DiscMenu& m) {
    w.u8(static_cast<uint64_t>(m.titleSet));
    w.u8(static_cast<uint64_t>(m.languageUnit));
    w.u8(m.language.size() == 2 ? static_cast<unsigned char>(m.language[0]) : 0);
    w.u8(m.language.size() == 2 ? static_cast<unsigned char>(m.language[1]) : 0);
    w.u16(static_cast<uint64_t>(m.number));
    w.u8(static_cast<uint64_t>(m.entry));
    writeVideo(w, m.video);
    w.f64(m.length);
    w.u8(static_cast<uint64_t>(m.still));
    w.u8(m.streams.size());
    for (const DiscStream& s : m.streams) writeStream(w, s);
    writeCells(w, m.cells);
}

bool readMenu(Reader& r, DiscMenu& m, size_t& cellsLeft) {
    m.titleSet = static_cast<int>(r.u8());
    m.languageUnit = static_cast<int>(r.u8());
    const auto a = static_cast<char>(r.u8()), b = static_cast<char>(r.u8());
    m.number = static_cast<int>(r.u16());
    const uint64_t entry = r.u8();
    readVideo(r, m.video);
    m.length = r.f64();
    m.still = static_cast<int>(r.u8());
    r.need(m.titleSet <= 99 && m.languageUnit >= 1 && m.languageUnit <= kMaxLanguageUnits &&
           m.number >= 1 && m.number <= static_cast<int>(kMaxProgramChains) &&
           (entry == 0 || (entry >= 2 && entry <= 7)) && within(m.length, kMaxTitleSeconds));
    m.entry = static_cast<MenuEntry>(entry);
    if (a != 0 || b != 0) {
        r.need(a >= 'a' && a <= 'z' && b >= 'a' && b <= 'z');
        m.language = std::string{a, b};
    }
    const uint64_t streams = r.u8();
    r.need(streams <= 3);
    for (uint64_t k = 0; r.ok() && k < streams; ++k)
        r.need(readStream(r, m.streams.emplace_back()));
    if (!r.ok() || !readCells(r, m.cells, cellsLeft)) return false;
    for (const DiscCell& c : m.cells) r.need(c.sectors.first <= c.sectors.last);
    return r.ok();
}

bool readCells(Reader& r, std::vector<DiscCell>& list, size_t& cellsLeft) {
    const uint64_t cells = r.u32();
    r.need(cells <= cellsLeft);
    if (!r.ok()) return false;
    cellsLeft -= cells;
    list.reserve(cells);
    for (uint64_t k = 0; r.ok() && k < cells; ++k) {
        DiscCell& c = list.emplace_back();
        c.sectors.first = static_cast<uint32_t>(r.u32());
        c.sectors.last = static_cast<uint32_t>(r.u32());
        c.seconds = r.f64();
        c.angle = static_cast<int>(r.u8());
        c.chapter = static_cast<int>(r.u16());
        const uint64_t interleaved = r.u8();
        c.still = static_cast<int>(r.u8());
        r.need(within(c.seconds, kMaxCellSeconds) && c.chapter <= kMaxChapters && interleaved <= 1);
        c.interleaved = interleaved == 1;
    }
    return r.ok();
}

} // namespace

size_t maxReadingBytes() {
    return sizeof kMagic + 1 + 1 + kMaxTitles * kTitleBytes + kMaxDiscCells * kCellBytes + 1 +
           kMaxTitles * (1 + 2 + kMaxText) + 2 + kMaxMenus * kMenuBytes +
           kMaxMenuCells * kCellBytes;
}

std::string encodeReading(const DiscReading& reading) {
    Writer w;
    for (char c : kMagic) w.u8(static_cast<unsigned char>(c));
    w.u8(static_cast<uint64_t>(reading.outcome));
    if (reading.outcome == DiscReading::Outcome::Failed) w.text(reading.failure);
    if (reading.outcome != DiscReading::Outcome::Titles) return w.take();
    w.u8(reading.titles.size());
    for (const DiscTitle& t : reading.titles) {
        w.u8(static_cast<uint64_t>(t.number));
        w.u8(static_cast<uint64_t>(t.titleSet));
        w.u8(static_cast<uint64_t>(t.angles));
        w.u16(static_cast<uint64_t>(t.programChain));
        writeVideo(w, t.video);
        w.f64(t.length);
        for (uint32_t rgb : t.palette) w.u32(rgb);
        w.u8(t.streams.size());
        for (const DiscStream& s : t.streams) writeStream(w, s);
        writeCells(w, t.cells);
    }
    w.u8(reading.refused.size());
    for (const RefusedTitle& t : reading.refused) {
        w.u8(static_cast<uint64_t>(t.number));
        w.text(t.reason);
    }
    w.u16(reading.menus.size());
    for (const DiscMenu& m : reading.menus) writeMenu(w, m);
    return w.take();
}

std::optional<DiscReading> decodeReading(std::string_view bytes) {
    if (bytes.size() > maxReadingBytes() || bytes.size() < sizeof kMagic ||
        std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Reader r(bytes.substr(sizeof kMagic));
    DiscReading reading;
    const uint64_t outcome = r.u8();
    r.need(outcome <= static_cast<uint64_t>(DiscReading::Outcome::OutOfMemory));
    reading.outcome = static_cast<DiscReading::Outcome>(outcome);
    if (r.ok() && reading.outcome == DiscReading::Outcome::Failed) reading.failure = r.text();
    if (r.ok() && reading.outcome == DiscReading::Outcome::Titles) {
        const uint64_t titles = r.u8();
        r.need(titles <= kMaxTitles);
        size_t cellsLeft = kMaxDiscCells;
        for (uint64_t k = 0; r.ok() && k < titles; ++k) {
            DiscTitle& t = reading.titles.emplace_back();
            r.need(readTitle(r, t, cellsLeft));
            // In the disc's order, each once.
            r.need(k == 0 || t.number > reading.titles[k - 1].number);
        }
        const uint64_t refused = r.u8();
        r.need(refused <= kMaxTitles);
        for (uint64_t k = 0; r.ok() && k < refused; ++k) {
            RefusedTitle& t = reading.refused.emplace_back();
            t.number = static_cast<int>(r.u8());
            r.need(t.number >= 1 && t.number <= kMaxTitles);
            t.reason = r.text();
        }
        const uint64_t menus = r.u16();
        r.need(menus <= kMaxMenus);
        size_t menuCellsLeft = kMaxMenuCells;
        for (uint64_t k = 0; r.ok() && k < menus; ++k)
            r.need(readMenu(r, reading.menus.emplace_back(), menuCellsLeft));
    }
    if (!r.atEnd()) return std::nullopt;
    return reading;
}

} // namespace qf
