// countStartCodes against the plain sliding window, and countPictures against itself fed
// byte by byte, over runs cut anywhere.
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

// MPEG-2 pictures: a picture start code and its coding extension.
Bytes mpeg2Picture(int structure, bool topFirst, bool repeatFirst) {
    return {0x00,
            0x00,
            0x01,
            0x00,
            0x00,
            0x0F,
            0xFF,
            0xF8, // picture header, I
            0x00,
            0x00,
            0x01,
            0xB5,
            0x8F,
            0xFF,
            static_cast<uint8_t>(0xF0 | structure),
            static_cast<uint8_t>((topFirst ? 0x80 : 0) | (repeatFirst ? 0x02 : 0) | 0x01),
            0x80,
            0x12,
            0x00,
            0x00,
            0x01,
            0x01,
            0x22,
            0x33}; // and a slice
}

Bytes mpeg2Sequence(bool progressive) {
    return {0x00, 0x00, 0x01, 0xB3, 0x2D, 0x01,
            0xE0, 0x34, 0xFF, 0xFF, 0xE0, 0x18,
            0x00, 0x00, 0x01, 0xB5, 0x14, static_cast<uint8_t>(progressive ? 0x8A : 0x82),
            0x00, 0x01, 0x00, 0x00};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Counted {
    int32_t frames = 0;
    int64_t fields = 0;
};

Counted countPieces(const Bytes& b, const std::vector<size_t>& cuts) {
    PictureScan scan;
    Counted v;
    PictureTally t{v.frames, v.fields};
    size_t from = 0;
    for (size_t to : cuts) {
        countPictures(scan, b.data() + from, to - from, t);
        from = to;
    }
    countPictures(scan, b.data() + from, b.size() - from, t);
    return v;
}

std::vector<size_t> everyByte(size_t n) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < n; ++i) cuts.push_back(i);
    return cuts;
}

// Frames as decoders output them, fields as they are displayed.
TEST(CountPictures, FramesAndDisplayedFields) {
    const Bytes frame = mpeg2Picture(3, false, false), top = mpeg2Picture(1, true, false),
                bottom = mpeg2Picture(2, false, false);
    const struct {
        const char* what;
        Bytes stream;
        int32_t frames;
        int64_t fields;
    } cases[] = {
        {"four frames", concat({mpeg2Sequence(false), frame, frame, frame, frame}), 4, 8},
        {"two frames as field pairs", concat({mpeg2Sequence(false), top, bottom, bottom, top}), 2,
         4},
        {"3:2 pulldown in an interlaced sequence",
         concat({mpeg2Sequence(false), mpeg2Picture(3, true, true), mpeg2Picture(3, false, false),
                 mpeg2Picture(3, false, true), mpeg2Picture(3, true, false)}),
         4, 10},
        {"repeat_first_field in a progressive sequence: doubled, tripled",
         concat({mpeg2Sequence(true), mpeg2Picture(3, false, true), mpeg2Picture(3, true, true),
                 mpeg2Picture(3, false, false)}),
         3, 4 + 6 + 2},
        {"MPEG-1: no extensions",
         concat({Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x08},
                 Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x10}}),
         2, 4},
        {"a start code inside an extension ends it",
         {0x00, 0x00, 0x01, 0xB5, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0xB5, 0x8F, 0xFF, 0xF1,
          0x80},
         1,
         2},
    };
    for (const auto& c : cases) {
        const auto whole = countPieces(c.stream, {});
        EXPECT_EQ(whole.frames, c.frames) << c.what;
        EXPECT_EQ(whole.fields, c.fields) << c.what;
        for (size_t cut = 0; cut <= c.stream.size(); ++cut) {
            const auto v = countPieces(c.stream, {cut});
            ASSERT_EQ(v.frames, c.frames) << c.what << " cut at " << cut;
            ASSERT_EQ(v.fields, c.fields) << c.what << " cut at " << cut;
        }
    }
}

// However the payload is cut, the result is that of feeding it byte by byte.
TEST(CountPictures, RunsCutAnywhereCountAsByteByByte) {
    std::mt19937 rng(777);
    std::uniform_int_distribution<size_t> len(0, 80);
    std::uniform_int_distribution<int> pick(0, 11), any(0, 255);
    constexpr uint8_t kDense[] = {0x00, 0x01, 0xB5, 0x8F, 0x81, 0x13, 0x03, 0x82};
    for (int round = 0; round < 5000; ++round) {
        Bytes b(len(rng));
        for (auto& x : b) {
            const int k = pick(rng);
            x = k < 8 ? kDense[k] : static_cast<uint8_t>(any(rng));
        }
        std::vector<size_t> cuts;
        for (size_t at = 0; at < b.size(); at += 1 + len(rng) % 7) cuts.push_back(at);
        const auto want = countPieces(b, everyByte(b.size()));
        const auto got = countPieces(b, cuts);
        ASSERT_EQ(got.frames, want.frames) << testing::PrintToString(b);
        ASSERT_EQ(got.fields, want.fields) << testing::PrintToString(b);
    }
}

} // namespace
} // namespace qf
