#pragma once
// A disc's IFO files as one input of the IFO fuzz target (and its seed, which the tests
// read too): one byte with VIDEO_TS.IFO's size in sectors, one with VTS_01_0.IFO's, then
// the two files and VTS_02_0.IFO, which takes the rest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf::fuzz {

struct IfoSet {
    std::vector<uint8_t> vmg, vts1, vts2;
};

inline IfoSet splitIfoSet(const uint8_t* data, size_t size) {
    IfoSet set;
    if (size < 2) return set;
    const size_t vmg = std::min<size_t>(data[0] * size_t{2048}, size - 2);
    const size_t vts1 = std::min<size_t>(data[1] * size_t{2048}, size - 2 - vmg);
    const uint8_t* p = data + 2;
    set.vmg.assign(p, p + vmg);
    set.vts1.assign(p + vmg, p + vmg + vts1);
    set.vts2.assign(p + vmg + vts1, data + size);
    return set;
}

inline std::vector<uint8_t> joinIfoSet(const IfoSet& set) {
    std::vector<uint8_t> out{static_cast<uint8_t>(set.vmg.size() / 2048),
                             static_cast<uint8_t>(set.vts1.size() / 2048)};
    for (const auto* file : {&set.vmg, &set.vts1, &set.vts2})
        out.insert(out.end(), file->begin(), file->end());
    return out;
}

} // namespace qf::fuzz
