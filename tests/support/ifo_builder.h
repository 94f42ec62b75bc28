#pragma once
// IFO files for the disc tests: the dvdauthor-made seed of the IFO fuzz target, bytes
// patched into it, and title sets rebuilt with tables no authoring tool would write.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/ifo_set.h"
#include "support/ps_builder.h"

namespace qf::test {

// VIDEO_TS.IFO, VTS_01_0.IFO and VTS_02_0.IFO of the PAL test disc, as committed with the
// fuzz target's seeds.
fuzz::IfoSet seedIfoSet();

// `bytes` written over `file` from `offset` on (the file grows when they reach past it).
void patch(Bytes& file, size_t offset, const Bytes& bytes);

uint32_t be32(const Bytes& file, size_t offset);

// A title set IFO like `vts` whose program chain table holds `pointers` pointers to one
// chain of `cells` cells, each a copy of the first cell of the IFO's first chain (with the
// sectors `sectors` when given), and whose first title has `chapters` chapters naming
// chains 1, 2, ... (its second title one chapter naming chain 1). The new tables go at the
// end of the file.
struct FanOut {
    unsigned pointers = 1, cells = 1, chapters = 1;
    std::optional<std::pair<uint32_t, uint32_t>> sectors; // first and last
};
Bytes fanOut(const Bytes& vts, const FanOut& shape);

// The IFO files of `set` written into `disc`/VIDEO_TS (a disc folder made before).
void writeIfoSet(const std::string& disc, const fuzz::IfoSet& set);

} // namespace qf::test
