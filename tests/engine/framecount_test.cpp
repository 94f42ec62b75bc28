// countStartCodes against the plain 32-bit window it replaces.
#include "engine/framecount.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/ps_builder.h"

namespace qf {
namespace {

using test::slidingWindowCount;

int32_t count(const Bytes& b, uint8_t code) {
    return countStartCodes(b.data(), b.size(), code);
}

// Random bytes drawn mostly from {00, 01, code} so that patterns and near misses are dense.
Bytes randomRun(std::mt19937& rng, size_t n, uint8_t code) {
    Bytes b(n);
    std::uniform_int_distribution<int> pick(0, 9), any(0, 255);
    for (auto& x : b) {
        const int k = pick(rng);
        x = k < 4 ? 0x00 : k < 6 ? 0x01 : k < 8 ? code : static_cast<uint8_t>(any(rng));
    }
    return b;
}

TEST(CountStartCodes, AgreesWithTheSlidingWindowOnRandomRuns) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<size_t> len(0, 64);
    for (int c : {0x00, 0x01, 0x09, 0x0D, 0xB3, 0xFF}) {
        const auto code = static_cast<uint8_t>(c);
        for (int round = 0; round < 3000; ++round) {
            const Bytes b = randomRun(rng, len(rng), code);
            ASSERT_EQ(count(b, code), slidingWindowCount(b.data(), b.size(), code))
                << "code " << int(code) << " round " << round;
        }
    }
    // Long runs of uniform bytes (few patterns) and a whole block of dense ones.
    std::uniform_int_distribution<int> any(0, 255);
    Bytes uniform(1 << 20);
    for (auto& x : uniform) x = static_cast<uint8_t>(any(rng));
    for (uint8_t code : {uint8_t{0x00}, uint8_t{0x09}, uint8_t{0x0D}})
        EXPECT_EQ(count(uniform, code), slidingWindowCount(uniform.data(), uniform.size(), code));
    const Bytes dense = randomRun(rng, 262144, 0x00);
    EXPECT_EQ(count(dense, 0x00), slidingWindowCount(dense.data(), dense.size(), 0x00));
}

TEST(CountStartCodes, StructuredRuns) {
    struct Case {
        Bytes run;
        uint8_t code;
        int32_t expect;
    };
    const std::vector<Case> cases = {
        {{}, 0x00, 0},
        {{0x01}, 0x00, 0},
        {{0x01, 0x00}, 0x00, 1},       // the window starts at zero
        {{0x00, 0x01, 0x00}, 0x00, 1}, // likewise
        {{0x07, 0x01, 0x00}, 0x00, 0},
        {{0x07, 0x00, 0x01, 0x00}, 0x00, 0},
        {{0x00, 0x00, 0x01}, 0x00, 0},
        {{0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00}, 0x00, 2}, // overlapping
        {{0x00, 0x00, 0x01, 0x01, 0x01}, 0x01, 1},
        {{0x00, 0x00, 0x00, 0x00, 0x01, 0x09, 0x00, 0x00, 0x01, 0x09}, 0x09, 2},
        {{0x00, 0x00, 0x01, 0x0D, 0x00, 0x00, 0x01, 0x00}, 0x0D, 1},
        {{0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01}, 0x00, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(count(c.run, c.code), c.expect) << testing::PrintToString(c.run);
        EXPECT_EQ(count(c.run, c.code), slidingWindowCount(c.run.data(), c.run.size(), c.code));
    }
}

TEST(CountStartCodes, PatternsCutAtEveryRunBoundary) {
    // Three patterns in filler; each cut gives two runs, each counted from a zero window.
    Bytes b = {0x47, 0x00, 0x00, 0x01, 0x00, 0x12, 0x00, 0x00, 0x01,
               0x00, 0x00, 0x00, 0x01, 0x00, 0x9A, 0x01, 0x00, 0x33};
    const int32_t whole = count(b, 0x00);
    ASSERT_EQ(whole, 3);
    for (size_t cut = 0; cut <= b.size(); ++cut) {
        SCOPED_TRACE(cut);
        const int32_t split = countStartCodes(b.data(), cut, 0x00) +
                              countStartCodes(b.data() + cut, b.size() - cut, 0x00);
        EXPECT_EQ(split, slidingWindowCount(b.data(), cut, 0x00) +
                             slidingWindowCount(b.data() + cut, b.size() - cut, 0x00));
        // A pattern is lost exactly when the cut follows its 00 00 01; a run starting
        // "01 00" right after 9A gains one.
        const bool loses = cut == 4 || cut == 9 || cut == 13;
        const bool gains = cut == 15;
        EXPECT_EQ(split, whole - loses + gains);
    }
}

} // namespace
} // namespace qf
