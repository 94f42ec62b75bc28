#pragma once
// What a stream analyser reads: the bytes of the block being parsed and the look-up table
// of AC-3 rates.
#include <array>
#include <cstdint>
#include <span>

namespace qf {

// Look-up tables the analysers decode coded values with; filled at every pass start.
struct NameTables {
    std::array<int32_t, 23> AC3RateTable{};

    void fill();
};

class Report {
public:
    virtual ~Report() = default;
    // The bytes read into the buffer for the current block; the positions handed to an
    // analyser index this span. Bytes past a payload run belong to other packets.
    virtual std::span<const uint8_t> block() const = 0;
    virtual const NameTables& tables() const = 0;
};

// The part of the block an analyser may read for a run at p of n bytes: never past the
// bytes read, whatever the caller claims.
inline std::span<const uint8_t> runBytes(const Report& r, size_t p, size_t n) {
    const std::span<const uint8_t> b = r.block();
    if (p >= b.size()) return {};
    return b.subspan(p, n < b.size() - p ? n : b.size() - p);
}

} // namespace qf
