#include "analysers/bitreader.h"

#include <gtest/gtest.h>

#include <vector>

namespace qf {
namespace {

// Reference: bit i of data, most significant bit of each byte first.
uint32_t refBits(const std::vector<uint8_t>& d, size_t offset, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const size_t bit = offset + static_cast<size_t>(i);
        v = v << 1 | ((d[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return v;
}

std::vector<uint8_t> pattern(size_t size) {
    std::vector<uint8_t> d(size);
    uint32_t x = 0x12345678;
    for (auto& b : d) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return d;
}

// From every fill level of the low byte, every skip width lands where the
// reference says, with used back in 0-7 and position one byte per eight bits.
TEST(DtsBitReaderTest, SkipFromEveryUsedValue) {
    const auto d = pattern(64);
    for (int used = 0; used < 8; ++used) {
        for (int n = 1; n <= 16; ++n) {
            DtsBitReader r(d.data(), d.size(), 3);
            r.BitStart();
            if (used > 0) r.BitSkip(used);
            ASSERT_EQ(r.used, used);
            r.BitSkip(n);
            const size_t consumed = static_cast<size_t>(used + n);
            EXPECT_EQ(r.used, static_cast<int>(consumed % 8)) << used << "+" << n;
            EXPECT_EQ(r.position, 3 + 4 + consumed / 8) << used << "+" << n;
            EXPECT_EQ(r.BitRead(16), refBits(d, 3 * 8 + consumed, 16)) << used << "+" << n;
        }
    }
}

TEST(DtsBitReaderTest, ReadsMixedWidthsInOrder) {
    const auto d = pattern(256);
    DtsBitReader r(d.data(), d.size(), 0);
    r.BitStart();
    size_t offset = 0;
    for (int i = 0; offset + 16 + 32 < d.size() * 8; ++i) {
        const int n = 1 + (i * 7) % 16;
        ASSERT_EQ(r.BitRead(n), refBits(d, offset, n)) << "read " << i << " of " << n;
        offset += static_cast<size_t>(n);
        ASSERT_GE(r.bitsLeft(), 25);
    }
}

// Bytes at and past the end are never taken: they read as zeros, and
// bitsLeft() counts only the real bits.
TEST(DtsBitReaderTest, StopsAtEnd) {
    std::vector<uint8_t> d = {0xA5, 0x3C, 0xFF, 0xFF, 0xFF, 0xFF};
    DtsBitReader r(d.data(), 2, 0);
    r.BitStart();
    EXPECT_EQ(r.bitsLeft(), 16);
    EXPECT_EQ(r.BitRead(12), 0xA53u);
    EXPECT_EQ(r.bitsLeft(), 4);
    EXPECT_EQ(r.BitRead(8), 0xC0u);
    EXPECT_EQ(r.bitsLeft(), 0);
    EXPECT_EQ(r.BitRead(16), 0u);
    EXPECT_EQ(r.bitsLeft(), 0);
}

} // namespace
} // namespace qf
