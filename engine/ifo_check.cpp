#include "engine/ifo_check.h"

#include <cstring>
#include <unordered_set>

namespace qf {

namespace {

constexpr uint64_t kSector = 2048;
// Sizes libdvdread reads: the management tables (sizeof vmgi_mat_t and vtsi_mat_t), a
// program chain's fixed part, a table header, and the entries of the tables.
constexpr uint64_t kVmgiMat = 510, kVtsiMat = 984, kPgc = 236, kHeader = 8;
constexpr uint64_t kTitleInfo = 12, kPttOffset = 4, kPtt = 4, kPgciSrp = 8, kCommand = 8;
constexpr uint64_t kCellPlayback = 24, kCellPosition = 4, kLanguageUnit = 8;
// libdvdread refuses a menu table of more language units.
constexpr uint64_t kMaxLanguageUnits = 99;
// libdvdread refuses more commands in one table, and chapters naming chains or programs
// outside these ranges.
constexpr uint64_t kMaxCommands = 255, kMaxPgcn = 999, kMaxPgn = 99;

using Damage = std::optional<std::string>;

class Ifo {
public:
    explicit Ifo(std::span<const uint8_t> bytes) : b_(bytes) {}
    uint64_t size() const { return b_.size(); }
    // Callers check that the bytes lie inside the file first.
    uint64_t u8(uint64_t at) const { return b_[at]; }
    uint64_t u16(uint64_t at) const { return uint64_t{b_[at]} << 8 | b_[at + 1]; }
    uint64_t u32(uint64_t at) const { return u16(at) << 16 | u16(at + 2); }
    bool startsWith(const char* id) const { return std::memcmp(b_.data(), id, 12) == 0; }

private:
    std::span<const uint8_t> b_;
};

std::string n(uint64_t v) {
    return std::to_string(v);
}

// A program chain at `at`, whose tables must end by `end` (`endName` says where that is).
Damage pgcDamage(const Ifo& f, uint64_t at, uint64_t end, const std::string& name,
                 const std::string& endName) {
    if (at + kPgc > end) return name + " ends past " + endName;
    const uint64_t programs = f.u8(at + 2), cells = f.u8(at + 3);
    const uint64_t commands = f.u16(at + 228), programMap = f.u16(at + 230),
                   cellPlayback = f.u16(at + 232), cellPosition = f.u16(at + 234);
    if (commands != 0) {
        const uint64_t c = at + commands;
        if (c + kHeader > end) return name + "'s command table ends past " + endName;
        const uint64_t count = f.u16(c) + f.u16(c + 2) + f.u16(c + 4), last = f.u16(c + 6);
        if (c + last + 1 > end) return name + "'s command table ends past " + endName;
        if (count > kMaxCommands)
            return name + "'s command table counts " + n(count) + " commands, more than " +
                   n(kMaxCommands);
        if (kHeader + count * kCommand > last + 1)
            return name + "'s command table counts more commands than it holds";
    }
    // libdvdread reads each of these only when both its offset and its count are set.
    if (programMap != 0 && programs != 0 && at + programMap + programs > end)
        return name + "'s program map ends past " + endName;
    if (cellPlayback != 0 && cells != 0 && at + cellPlayback + cells * kCellPlayback > end)
        return name + "'s cell table ends past " + endName;
    if (cellPosition != 0 && cells != 0 && at + cellPosition + cells * kCellPosition > end)
        return name + "'s cell position table ends past " + endName;
    return std::nullopt;
}

// A table that a management-table field places at sector `sector`: its header and last
// byte inside the file. Sets `at` and `last` (the offset of its last byte within it).
Damage tableDamage(const Ifo& f, uint64_t sector, const std::string& name, uint64_t& at,
                   uint64_t& last) {
    if (sector == 0) return "it has no " + name;
    at = sector * kSector;
    if (at + kHeader > f.size()) return name + " starts past the file's end";
    last = f.u32(at + 4);
    if (at + last + 1 > f.size()) return name + " ends past the file's end";
    return std::nullopt;
}

Damage titleTableDamage(const Ifo& f) {
    uint64_t at = 0, last = 0;
    if (auto d = tableDamage(f, f.u32(196), "title table", at, last)) return d;
    const uint64_t count = f.u16(at);
    if (count == 0) return std::string("title table lists no title");
    if (kHeader + count * kTitleInfo > last + 1)
        return "title table counts " + n(count) + " titles, more than it holds";
    return std::nullopt;
}

Damage chapterTableDamage(const Ifo& f) {
    const std::string table = "chapter table";
    uint64_t at = 0, last = 0;
    if (auto d = tableDamage(f, f.u32(200), table, at, last)) return d;
    const uint64_t count = f.u16(at), end = last + 1;
    if (count == 0) return table + " lists no title";
    const uint64_t offsets = kHeader + count * kPttOffset;
    if (offsets > end) return table + " counts " + n(count) + " titles, more than it holds";
    // libdvdread stops at the first title whose chapters would start past the table (some
    // discs point there for titles without chapters) and gives each title the entries up
    // to the next title's.
    uint64_t titles = 0;
    while (titles < count && f.u32(at + kHeader + titles * kPttOffset) + kPtt <= end) ++titles;
    uint64_t previous = offsets;
    for (uint64_t i = 0; i < titles; ++i) {
        const uint64_t start = f.u32(at + kHeader + i * kPttOffset);
        if (start < offsets) return table + "'s title " + n(i + 1) + " starts inside its offsets";
        if (start < previous) return table + "'s titles are out of order";
        previous = start;
    }
    for (uint64_t i = 0; i < titles; ++i) {
        const uint64_t start = f.u32(at + kHeader + i * kPttOffset);
        const uint64_t next = i + 1 < titles ? f.u32(at + kHeader + (i + 1) * kPttOffset) : end;
        for (uint64_t j = 0; j < (next - start) / kPtt; ++j) {
            const uint64_t pgcn = f.u16(at + start + j * kPtt),
                           pgn = f.u16(at + start + j * kPtt + 2);
            const std::string chapter = "chapter " + n(j + 1) + " of title " + n(i + 1);
            if (pgcn == 0 || pgcn > kMaxPgcn)
                return chapter + " names program chain " + n(pgcn) + ", outside 1-" + n(kMaxPgcn);
            if (pgn == 0 || pgn > kMaxPgn)
                return chapter + " names program " + n(pgn) + ", outside 1-" + n(kMaxPgn);
        }
    }
    return std::nullopt;
}

// A program chain table at `at` whose last byte is `last` bytes on, the chains within it.
Damage chainsDamage(const Ifo& f, uint64_t at, uint64_t last, const std::string& table) {
    const uint64_t count = f.u16(at), end = at + last + 1;
    if (count > kMaxProgramChains)
        return table + " counts " + n(count) + " chains, more than " + n(kMaxProgramChains);
    if (kHeader + count * kPgciSrp > last + 1)
        return table + " counts " + n(count) + " chains, more than it holds";
    // Pointers to the same chain share it, in libdvdread as here: each is checked once.
    std::unordered_set<uint64_t> checked;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t start = f.u32(at + kHeader + i * kPgciSrp + 4);
        if (!checked.insert(start).second) continue;
        if (auto d = pgcDamage(f, at + start, end, "program chain " + n(i + 1),
                               "the program chain table's end"))
            return d;
    }
    return std::nullopt;
}

Damage chainTableDamage(const Ifo& f) {
    const std::string table = "program chain table";
    uint64_t at = 0, last = 0;
    if (auto d = tableDamage(f, f.u32(204), table, at, last)) return d;
    return chainsDamage(f, at, last, table);
}

// The menu table: its language units, each a program chain table inside it.
Damage menuTableDamage(const Ifo& f, uint64_t sector) {
    const std::string table = "menu table";
    uint64_t at = 0, last = 0;
    if (sector == 0) return std::nullopt;
    if (auto d = tableDamage(f, sector, table, at, last)) return d;
    const uint64_t units = f.u16(at), end = last + 1;
    if (units == 0 || units > kMaxLanguageUnits)
        return table + " counts " + n(units) + " language units, outside 1-" + n(kMaxLanguageUnits);
    if (kHeader + units * kLanguageUnit > end)
        return table + " counts " + n(units) + " language units, more than it holds";
    for (uint64_t i = 0; i < units; ++i) {
        const uint64_t start = f.u32(at + kHeader + i * kLanguageUnit + 4);
        const std::string unit = table + "'s language unit " + n(i + 1);
        if (start + kHeader > end) return unit + " starts past the table's end";
        const uint64_t unitLast = f.u32(at + start + 4);
        if (start + unitLast + 1 > end) return unit + " ends past the table's end";
        if (auto d = chainsDamage(f, at + start, unitLast, unit)) return d;
    }
    return std::nullopt;
}

Damage sizeDamage(const Ifo& f, uint64_t header) {
    if (f.size() > kMaxIfoBytes) return "it is larger than " + n(kMaxIfoBytes >> 20) + " MB";
    if (f.size() < header) return std::string("the file ends inside its header");
    return std::nullopt;
}

} // namespace

std::optional<std::string> vmgDamage(std::span<const uint8_t> bytes) {
    const Ifo f(bytes);
    if (auto d = sizeDamage(f, kVmgiMat)) return d;
    if (!f.startsWith("DVDVIDEO-VMG")) return std::string("it does not begin with DVDVIDEO-VMG");
    if (const uint64_t fp = f.u32(132); fp != 0)
        if (auto d = pgcDamage(f, fp, f.size(), "first-play program chain", "the file's end"))
            return d;
    return titleTableDamage(f);
}

std::optional<std::string> vtsDamage(std::span<const uint8_t> bytes) {
    const Ifo f(bytes);
    if (auto d = sizeDamage(f, kVtsiMat)) return d;
    if (!f.startsWith("DVDVIDEO-VTS")) return std::string("it does not begin with DVDVIDEO-VTS");
    if (auto d = chapterTableDamage(f)) return d;
    return chainTableDamage(f);
}

std::optional<std::string> vmgMenuDamage(std::span<const uint8_t> bytes) {
    const Ifo f(bytes);
    if (auto d = sizeDamage(f, kVmgiMat)) return d;
    return menuTableDamage(f, f.u32(200));
}

std::optional<std::string> vtsMenuDamage(std::span<const uint8_t> bytes) {
    const Ifo f(bytes);
    if (auto d = sizeDamage(f, kVtsiMat)) return d;
    return menuTableDamage(f, f.u32(208));
}

} // namespace qf
