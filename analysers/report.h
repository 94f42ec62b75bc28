#pragma once
// What a stream analyser works with: the bytes of the block being parsed, the name
// tables, and a report that takes its lines and what was decoded.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "analysers/info.h"

namespace qf {

// Look-up tables the analysers name coded values with; filled at every pass start.
struct NameTables {
    std::array<int32_t, 23> AC3RateTable{};
    std::array<std::string, 32> ChannelNames, MLPChannelNames;
    std::array<std::string, 16> WordLengthNames, RateNames;

    void fill();
};

class Report {
public:
    virtual ~Report() = default;
    // The bytes read into the buffer for the current block; the positions handed to an
    // analyser index this span. Bytes past a payload run belong to other packets.
    virtual std::span<const uint8_t> block() const = 0;
    virtual const NameTables& tables() const = 0;
    virtual char decimalSeparator() const = 0;
    // A report line: marked-up text beginning with three blanks.
    virtual void log(std::string_view line) = 0;
    // What an analyser decoded from the run; ignored unless someone keeps it.
    virtual void found(StreamInfo info) { (void)info; }
};

// The part of the block an analyser may read for a run at p of n bytes: never past the
// bytes read, whatever the caller claims.
inline std::span<const uint8_t> runBytes(const Report& r, size_t p, size_t n) {
    const std::span<const uint8_t> b = r.block();
    if (p >= b.size()) return {};
    return b.subspan(p, n < b.size() - p ? n : b.size() - p);
}

} // namespace qf
