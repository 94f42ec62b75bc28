// countStartCodes against the plain sliding window, over runs cut anywhere.
#include "engine/framecount.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/ps_builder.h"

namespace qf {
namespace {

using test::slidingWindowCount;

// Counts b as consecutive runs cut at `cuts`, with one window for all of them.
int32_t countInRuns(const Bytes& b, const std::vector<size_t>& cuts, uint8_t code) {
    CodeWindow w;
    int32_t total = 0;
    size_t from = 0;
    for (size_t to : cuts) {
        total += countStartCodes(w, b.data() + from, to - from, code);
        from = to;
    }
    return total + countStartCodes(w, b.data() + from, b.size() - from, code);
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

// However the payload is cut into runs, every pattern counts once: split start codes
// included, and nothing before the first byte.
TEST(CountStartCodes, RunsCutAnywhereCountAsTheWholePayload) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<size_t> len(0, 64);
    for (int c : {0x00, 0x01, 0x09, 0x0D, 0xB3, 0xFF}) {
        const auto code = static_cast<uint8_t>(c);
        for (int round = 0; round < 3000; ++round) {
            const Bytes b = randomRun(rng, len(rng), code);
            std::vector<size_t> cuts;
            for (size_t at = 0; at < b.size(); at += 1 + len(rng) % 5) cuts.push_back(at);
            ASSERT_EQ(countInRuns(b, cuts, code), slidingWindowCount(b.data(), b.size(), code))
                << "code " << int(code) << " round " << round;
        }
    }
    const Bytes dense = randomRun(rng, 262144, 0x00);
    EXPECT_EQ(countInRuns(dense, {}, 0x00), slidingWindowCount(dense.data(), dense.size(), 0x00));
}

TEST(CountStartCodes, StructuredRuns) {
    struct Case {
        Bytes run;
        uint8_t code;
        int32_t expect;
    };
    const std::vector<Case> cases = {
        {{}, 0x00, 0},
        {{0x01, 0x00}, 0x00, 0},       // no bytes before the first: no pattern
        {{0x00, 0x01, 0x00}, 0x00, 0}, // likewise
        {{0x00, 0x00, 0x01, 0x00}, 0x00, 1},
        {{0x07, 0x00, 0x01, 0x00}, 0x00, 0},
        {{0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00}, 0x00, 2}, // overlapping
        {{0x00, 0x00, 0x01, 0x01, 0x01}, 0x01, 1},
        {{0x00, 0x00, 0x00, 0x00, 0x01, 0x09, 0x00, 0x00, 0x01, 0x09}, 0x09, 2},
        {{0x00, 0x00, 0x01, 0x0D, 0x00, 0x00, 0x01, 0x00}, 0x0D, 1},
        {{0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01}, 0x00, 0},
    };
    for (const Case& c : cases) {
        for (size_t cut = 0; cut <= c.run.size(); ++cut)
            EXPECT_EQ(countInRuns(c.run, {cut}, c.code), c.expect)
                << testing::PrintToString(c.run) << " cut at " << cut;
    }
}

} // namespace
} // namespace qf
