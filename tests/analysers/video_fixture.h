#pragma once
// Shared set-up of the video analyser tests: a context with filled report tables, encoder
// samples from tests/data, placing bytes into ReadBuffer, and each analyser run as a Read
// runs it: decode the run, then log the lines that word what was decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "engine/demux.h"
#include "engine/describe.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {

using VideoBytes = std::vector<uint8_t>;
using VideoLines = std::vector<std::string>;

class VideoAnalyserTest : public ::testing::Test {
protected:
    RecordingHost host;
    PassIo io;
    Catalogue cat;
    RunControl control;
    PassEnv ctx{io, cat, control, host};

    static VideoBytes sample(const std::string& name) {
        std::ifstream in(std::string(QUILLFEN_TEST_DATA) + "/" + name, std::ios::binary);
        VideoBytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(data.empty()) << "missing sample " << name;
        return data;
    }
    // Copies bytes into ReadBuffer at p; returns their count.
    size_t place(size_t p, const VideoBytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), ctx.io.ReadBuffer.begin() + static_cast<long>(p));
        return bytes.size();
    }
    const VideoLines& log() const { return host.lines; }

    void logged(const StreamInfo& info) {
        for (std::string& line : describe(info, {ctx.decimalSeparator(), 0}))
            host.lines.push_back(std::move(line));
    }
    void mpeg2(size_t p, size_t n, uint32_t pts) { logged(parseMpeg2(runBytes(ctx, p, n), pts)); }
    void h264(size_t p, size_t n) { logged(parseH264(runBytes(ctx, p, n))); }
    void vc1(size_t p, size_t n, int64_t pts) { logged(parseVc1(runBytes(ctx, p, n), pts)); }

    // Runs `analyse` on every cut [p, p + n) of a payload whose whole report is `full`:
    // each cut must report a leading part of it and read nothing past its end, although
    // the rest of the payload stays in the buffer right behind it.
    void expectCutsArePrefixes(const VideoBytes& payload, const VideoLines& full,
                               const std::function<void(size_t p, size_t n)>& analyse) {
        const size_t p = 64;
        place(p, payload);
        for (size_t n = 0; n <= payload.size(); ++n) {
            host.lines.clear();
            analyse(p, n);
            ASSERT_LE(host.lines.size(), full.size()) << "cut at " << n;
            ASSERT_TRUE(std::equal(host.lines.begin(), host.lines.end(), full.begin()))
                << "cut at " << n;
        }
        EXPECT_EQ(host.lines, full);
    }
};

// Offset of the k-th (0-based) occurrence of the three-byte start code prefix
// followed by `code`, pointing at the 00 00 01; the sample size when there is none.
inline size_t findStartCode(const VideoBytes& data, uint8_t code, int k = 0) {
    for (size_t i = 0; i + 3 < data.size(); ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == code && k-- == 0)
            return i;
    }
    return data.size();
}

} // namespace qf::test
