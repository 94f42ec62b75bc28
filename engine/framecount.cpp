#include "engine/framecount.h"

#include <cstring>

namespace qf {

int32_t countStartCodes(const uint8_t* data, size_t n, uint8_t code) {
    // Find each 0x01 with memchr, then check the two bytes before it (zero before the
    // run) and the byte after it. Same result as sliding the window byte by byte.
    if (n < 2) return 0; // a pattern ends two bytes after its 0x01 at the least
    int32_t count = 0;
    const uint8_t* p = data;
    const uint8_t* end = data + n;
    while (p + 1 < end) {
        const void* hit = std::memchr(p, 0x01, static_cast<size_t>(end - 1 - p));
        if (!hit) break;
        const uint8_t* one = static_cast<const uint8_t*>(hit);
        const size_t at = static_cast<size_t>(one - data);
        if (one[1] == code && (at < 1 || one[-1] == 0) && (at < 2 || one[-2] == 0)) ++count;
        p = one + 1;
    }
    return count;
}

} // namespace qf
