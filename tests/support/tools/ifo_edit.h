#pragma once
// Byte access to the IFO and VOB files the test tools rewrite, and the one edit two of them
// make: a program chain made to play cells of another.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace qf::tools {

constexpr size_t kSector = 2048;
using Bytes = std::vector<uint8_t>;

inline Bytes load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline void save(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}
inline uint32_t get32(const Bytes& b, size_t at) {
    return uint32_t{b.at(at)} << 24 | uint32_t{b.at(at + 1)} << 16 | uint32_t{b.at(at + 2)} << 8 |
           b.at(at + 3);
}
inline uint16_t get16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) << 8 | b.at(at + 1));
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (24 - 8 * i));
}
inline void put16(Bytes& b, size_t at, uint16_t v) {
    b.at(at) = static_cast<uint8_t>(v >> 8);
    b.at(at + 1) = static_cast<uint8_t>(v);
}

// Where program chain n (from 1) of a title set's IFO begins.
inline size_t pgcAt(const Bytes& ifo, size_t n) {
    const size_t pgcit = get32(ifo, 0xCC) * kSector;
    if (n < 1 || n > get16(ifo, pgcit))
        throw std::runtime_error("no program chain " + std::to_string(n));
    return pgcit + get32(ifo, pgcit + 8 + 8 * (n - 1) + 4);
}

inline int bcd(uint8_t v) {
    return (v >> 4) * 10 + (v & 15);
}
inline uint8_t toBcd(int v) {
    return static_cast<uint8_t>(v / 10 << 4 | v % 10);
}
// A playback time in PAL frames (the discs the tools make are PAL), and back.
inline int frames(const Bytes& b, size_t at) {
    return ((bcd(b.at(at)) * 60 + bcd(b.at(at + 1))) * 60 + bcd(b.at(at + 2))) * 25 +
           bcd(b.at(at + 3) & 0x3F);
}
inline void putFrames(Bytes& b, size_t at, int n) {
    b.at(at) = toBcd(n / 90000);
    b.at(at + 1) = toBcd(n / 1500 % 60);
    b.at(at + 2) = toBcd(n / 25 % 60);
    b.at(at + 3) = static_cast<uint8_t>(0x40 | toBcd(n % 25));
}

// Chain `to` plays the cells `cells` (numbers in chain `from`, as `original` has them) in
// that order; it must have been authored with as many cells. Its length follows them.
inline void playCells(Bytes& ifo, const Bytes& original, size_t from, size_t to,
                      const std::vector<size_t>& cells) {
    const size_t src = pgcAt(original, from), pgc = pgcAt(ifo, to);
    const size_t play1 = src + get16(original, src + 0xE8),
                 pos1 = src + get16(original, src + 0xEA);
    if (to != from && ifo.at(pgc + 3) != cells.size())
        throw std::runtime_error("chain " + std::to_string(to) + " has another number of cells");
    const size_t play = pgc + get16(ifo, pgc + 0xE8), pos = pgc + get16(ifo, pgc + 0xEA);
    int length = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i] < 1 || cells[i] > original.at(src + 3))
            throw std::runtime_error("no such cell");
        const size_t cell = play1 + 24 * (cells[i] - 1);
        std::copy_n(original.begin() + static_cast<std::ptrdiff_t>(cell), 24,
                    ifo.begin() + static_cast<std::ptrdiff_t>(play + 24 * i));
        std::copy_n(original.begin() + static_cast<std::ptrdiff_t>(pos1 + 4 * (cells[i] - 1)), 4,
                    ifo.begin() + static_cast<std::ptrdiff_t>(pos + 4 * i));
        length += frames(original, cell + 4);
    }
    ifo.at(pgc + 3) = static_cast<uint8_t>(cells.size());
    putFrames(ifo, pgc + 4, length);
}

} // namespace qf::tools
