#pragma once
// Shared set-up of the job tests: a job bench on a recording host in a fresh folder, and
// builder-made EVO titles whose elementary streams are known byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/control.h"
#include "jobs/jobs.h"
#include "jobs/runner.h"
#include "support/file_limit.h"
#include "support/job_bench.h"
#include "support/ps_builder.h"
#include "support/recording_events.h"

namespace qf::test {

using Lines = std::vector<std::string>;

inline Bytes sample(const std::string& name) {
    return readFile(std::string(QUILLFEN_TEST_DATA) + "/" + name);
}

inline Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// VC-1 access units: the first carries a sequence header and an entry point, every unit
// one frame start code, and no other start code appears in the filler.
inline std::vector<Bytes> vc1Units(int frames, size_t size = 3000, uint8_t fill = 0x5A) {
    std::vector<Bytes> units;
    for (int i = 0; i < frames; ++i) {
        Bytes u;
        if (i == 0) {
            u = {0x00, 0x00, 0x01, 0x0F, 0xCA, 0x86, 0x1E, 0x08, 0x43, 0xF2,
                 0x02, 0x00, 0x00, 0x01, 0x0E, 0x4A, 0xD8, 0x00, 0x00, 0x02};
        }
        Bytes frame = {0x00, 0x00, 0x01, 0x0D};
        frame.resize(size, static_cast<uint8_t>(fill + i));
        u.insert(u.end(), frame.begin(), frame.end());
        units.push_back(u);
    }
    return units;
}

inline std::vector<Bytes> repeatUnit(const Bytes& unit, int n) {
    return std::vector<Bytes>(n, unit);
}

// Subpicture units: a size field, then data.
inline std::vector<Bytes> subUnits(int n, size_t size = 700) {
    std::vector<Bytes> units;
    for (int i = 0; i < n; ++i) {
        Bytes u = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
        u.resize(size, static_cast<uint8_t>(0x31 + i));
        units.push_back(u);
    }
    return units;
}

inline PsMuxer::Track vc1Track(std::vector<Bytes> units, uint8_t ext = 0x55) {
    PsMuxer::Track t;
    t.streamId = 0xFD;
    t.streamIdExt = ext;
    t.units = std::move(units);
    t.withDts = true;
    t.ptsStart = 90000;
    t.ptsStep = 3754;
    return t;
}

inline PsMuxer::Track audioTrack(std::vector<Bytes> units, Bytes subHeader) {
    PsMuxer::Track t;
    t.streamId = 0xBD;
    t.subHeader = std::move(subHeader);
    t.units = std::move(units);
    t.ptsStart = 90000 + 1800;
    t.ptsStep = 2880;
    return t;
}

inline PsMuxer::Track subTrack(uint8_t id, std::vector<Bytes> units) {
    PsMuxer::Track t;
    t.streamId = 0xBD;
    t.subHeader = subHeaderSub(id);
    t.units = std::move(units);
    t.ptsStart = 90000 + 45000;
    t.ptsStep = 90000;
    return t;
}

// The "SP" records a demux pass writes for subpicture units that each began a packet.
inline Bytes spRecords(const std::vector<Bytes>& units, uint32_t firstPts, uint32_t step,
                       uint32_t earliest) {
    Bytes out;
    for (size_t i = 0; i < units.size(); ++i) {
        const uint32_t pts = firstPts + step * static_cast<uint32_t>(i) - earliest;
        const Bytes h = spHeader(pts);
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), units[i].begin(), units[i].end());
    }
    return out;
}

class JobTest : public ::testing::Test {
protected:
    JobTest() { streamFilesOnly(request.output); }
    JobBench bench;
    RecordingEvents& host = bench.host;
    JobRunner& ctx = bench.ctx;
    JobRequest& request = bench.request;
    TempDir dir;

    void choose(const std::string& path) { bench.choose(path, request.workdir); }
    Lines plainLines() const {
        Lines out;
        for (const auto& l : host.lines) out.push_back(plainText(l));
        return out;
    }
    int countLines(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : plainLines()) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    bool hasLine(const std::string& line) const {
        for (const auto& l : plainLines())
            if (l == line) return true;
        return false;
    }
    void tick(Family family, size_t slot, bool on) {
        request.selection.at(family, slot).checked = on;
    }
    bool allOutputsClosed() const {
        for (const auto& o : ctx.io.VideoOut)
            if (o) return false;
        for (const auto& o : ctx.io.AudioOut)
            if (o) return false;
        for (const auto& o : ctx.io.SubOut)
            if (o) return false;
        return !ctx.io.SourceStream;
    }
};

} // namespace qf::test
