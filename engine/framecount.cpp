#include "engine/framecount.h"

#include <cstring>

namespace qf {

int32_t countStartCodes(CodeWindow& w, const uint8_t* data, size_t n, uint8_t code) {
    const uint32_t pattern = 0x00000100u | code;
    int32_t count = 0;
    // A pattern ending in one of the first three bytes takes bytes of the window.
    const size_t head = n < 3 ? n : 3;
    for (size_t i = 0; i < head; ++i) {
        w.bits = (w.bits << 8) | data[i];
        if (w.fill < 4) ++w.fill;
        if (w.fill == 4 && w.bits == pattern) ++count;
    }
    if (n <= 3) return count;

    // The rest lies wholly inside the run: find each 0x01 with memchr, then check the two
    // bytes before it and the byte after it.
    const uint8_t* end = data + n;
    const uint8_t* p = data + 2;
    while (p + 1 < end) {
        const void* hit = std::memchr(p, 0x01, static_cast<size_t>(end - 1 - p));
        if (!hit) break;
        const uint8_t* one = static_cast<const uint8_t*>(hit);
        if (one[1] == code && one[-1] == 0 && one[-2] == 0) ++count;
        p = one + 1;
    }
    w.bits = static_cast<uint32_t>(end[-4]) << 24 | static_cast<uint32_t>(end[-3]) << 16 |
             static_cast<uint32_t>(end[-2]) << 8 | end[-1];
    w.fill = 4;
    return count;
}

} // namespace qf
