#pragma once
// Shared set-up of the audio analyser tests: a context with filled report
// tables, sample loading and placing bytes into ReadBuffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "engine/context.h"
#include "support/ps_builder.h"
#include "support/recording_host.h"

namespace qf::test {

class AudioAnalyserTest : public ::testing::Test {
protected:
    RecordingHost host;
    Session ctx{host};

    AudioAnalyserTest() { ctx.fillReportTables(); }

    static Bytes sample(const std::string& name) {
        return readFile(std::string(QUILLFEN_TEST_DATA) + "/" + name);
    }
    // Copies bytes into ReadBuffer at p; returns their count.
    size_t place(size_t p, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), ctx.ReadBuffer.begin() + static_cast<long>(p));
        return bytes.size();
    }
    // Fills the whole buffer with one byte value, so stray reads show up as data.
    void fill(uint8_t v) { std::fill(ctx.ReadBuffer.begin(), ctx.ReadBuffer.end(), v); }
    const std::vector<std::string>& log() const { return host.lines; }
};

using Lines = std::vector<std::string>;

} // namespace qf::test
