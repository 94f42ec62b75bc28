#pragma once
// Catalogue slots as the tests write them: by the catalogue entry of their stream, and
// printed that way when an expectation fails.
#include <cstdio>
#include <ostream>

#include "engine/slot_entry.h"

namespace qf {

// The slot of the stream with catalogue entry `entry` (one the codec table has).
inline SlotEntry metEntry(int32_t entry) {
    return SlotEntry(keyOfEntry(entry));
}

inline void PrintTo(const SlotEntry& e, std::ostream* os) {
    if (e.empty()) {
        *os << "empty";
    } else if (e.listed()) {
        *os << "listed by the playlist";
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "entry %03X", static_cast<unsigned>(e.entry()));
        *os << buf;
    }
}

} // namespace qf
