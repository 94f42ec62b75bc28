#include "support/ifo_builder.h"

#include <stdexcept>

namespace qf::test {

namespace {

constexpr size_t kSector = 2048;

uint16_t be16(const Bytes& f, size_t at) {
    return static_cast<uint16_t>(f.at(at) << 8 | f.at(at + 1));
}

Bytes u16(unsigned v) {
    return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

Bytes u32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

void append(Bytes& to, const Bytes& b) {
    to.insert(to.end(), b.begin(), b.end());
}

// Starts the next table on a sector of its own; returns its sector.
uint32_t nextSector(Bytes& f) {
    f.resize((f.size() + kSector - 1) / kSector * kSector);
    return static_cast<uint32_t>(f.size() / kSector);
}

} // namespace

fuzz::IfoSet seedIfoSet() {
    const Bytes seed = readFile(QUILLFEN_IFO_SEED);
    return fuzz::splitIfoSet(seed.data(), seed.size());
}

void patch(Bytes& file, size_t offset, const Bytes& bytes) {
    if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

uint32_t be32(const Bytes& f, size_t at) {
    return static_cast<uint32_t>(be16(f, at)) << 16 | be16(f, at + 2);
}

Bytes fanOut(const Bytes& vts, const FanOut& shape) {
    if (shape.chapters > shape.pointers || shape.cells == 0 || shape.cells > 255)
        throw std::invalid_argument("fanOut: chapters need chains, a chain 1-255 cells");
    // The first chain of the IFO: its header and first cell.
    const size_t pgcit = be32(vts, 204) * kSector;
    const size_t pgc = pgcit + be32(vts, pgcit + 12);
    const size_t cell = pgc + be16(vts, pgc + 232), position = pgc + be16(vts, pgc + 234);
    Bytes header(vts.begin() + static_cast<std::ptrdiff_t>(pgc),
                 vts.begin() + static_cast<std::ptrdiff_t>(pgc + 236));
    Bytes cellPlayback(vts.begin() + static_cast<std::ptrdiff_t>(cell),
                       vts.begin() + static_cast<std::ptrdiff_t>(cell + 24));
    if (shape.sectors) {
        patch(cellPlayback, 8, u32(shape.sectors->first));
        patch(cellPlayback, 12, u32(shape.sectors->first)); // first interleaved unit's end
        patch(cellPlayback, 16, u32(shape.sectors->first)); // last VOBU's start
        patch(cellPlayback, 20, u32(shape.sectors->second));
    }
    const Bytes cellPosition(vts.begin() + static_cast<std::ptrdiff_t>(position),
                             vts.begin() + static_cast<std::ptrdiff_t>(position + 4));

    // The chain: one program starting at cell 1, no commands; its tables after the header.
    const unsigned cells = shape.cells;
    header[2] = 1;
    header[3] = static_cast<uint8_t>(cells);
    patch(header, 228, u16(0));
    patch(header, 230, u16(236));
    patch(header, 232, u16(240));
    patch(header, 234, u16(240 + 24 * cells));
    Bytes chain = header;
    append(chain, {1, 0, 0, 0});
    for (unsigned c = 0; c < cells; ++c) append(chain, cellPlayback);
    for (unsigned c = 0; c < cells; ++c) append(chain, cellPosition);

    Bytes out = vts;
    const uint32_t chainTable = nextSector(out);
    const uint32_t start = 8 + 8 * shape.pointers;
    append(out, u16(shape.pointers));
    append(out, u16(0));
    append(out, u32(static_cast<uint32_t>(start + chain.size() - 1)));
    for (unsigned k = 0; k < shape.pointers; ++k) {
        append(out, {0x81, 0, 0, 0});
        append(out, u32(start));
    }
    append(out, chain);

    const uint32_t chapterTable = nextSector(out);
    const uint32_t first = 16, second = first + 4 * shape.chapters;
    append(out, u16(2));
    append(out, u16(0));
    append(out, u32(second + 4 - 1));
    append(out, u32(first));
    append(out, u32(second));
    for (unsigned j = 0; j < shape.chapters; ++j) {
        append(out, u16(j + 1));
        append(out, u16(1));
    }
    append(out, u16(1));
    append(out, u16(1));
    nextSector(out);
    patch(out, 200, u32(chapterTable));
    patch(out, 204, u32(chainTable));
    return out;
}

void writeIfoSet(const std::string& disc, const fuzz::IfoSet& set) {
    writeFile(disc + "/VIDEO_TS/VIDEO_TS.IFO", set.vmg);
    writeFile(disc + "/VIDEO_TS/VTS_01_0.IFO", set.vts1);
    writeFile(disc + "/VIDEO_TS/VTS_02_0.IFO", set.vts2);
}

} // namespace qf::test
