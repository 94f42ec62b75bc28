#pragma once
// Shared set-up of the audio analyser tests: a context with filled report tables, sample
// loading, placing bytes into ReadBuffer, and each analyser run as a Read runs it: decode
// the run, then log the lines that word what was decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "engine/demux.h"
#include "engine/describe.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {

class AudioAnalyserTest : public ::testing::Test {
protected:
    RecordingHost host;
    PassIo io;
    Catalogue cat;
    RunControl control;
    PassEnv ctx{io, cat, control, host};

    static Bytes sample(const std::string& name) {
        return readFile(std::string(QUILLFEN_TEST_DATA) + "/" + name);
    }
    // Copies bytes into ReadBuffer at p; returns their count.
    size_t place(size_t p, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), ctx.io.ReadBuffer.begin() + static_cast<long>(p));
        return bytes.size();
    }
    // Fills the whole buffer with one byte value, so stray reads show up as data.
    void fill(uint8_t v) { std::fill(ctx.io.ReadBuffer.begin(), ctx.io.ReadBuffer.end(), v); }
    const std::vector<std::string>& log() const { return host.lines; }

    void logged(const StreamInfo& info, int slot = 0) {
        for (std::string& line : describe(info, {ctx.decimalSeparator(), slot}))
            host.lines.push_back(std::move(line));
    }
    void ac3(size_t p, size_t n, int slot) {
        logged(parseAc3(runBytes(ctx, p, n), ctx.tables()), slot);
    }
    void dts(size_t p, size_t n) {
        logged(parseDts(ctx.block(), p, p + runBytes(ctx, p, n).size()));
    }
    void mlp(size_t p, size_t n) { logged(parseMlp(runBytes(ctx, p, n))); }
    void lpcm(size_t p, bool dvdVideo) { logged(parseLpcm(ctx.block(), p, dvdVideo)); }
    void mpa(size_t p, size_t n) { logged(parseMpa(runBytes(ctx, p, n))); }
};

using Lines = std::vector<std::string>;

} // namespace qf::test
