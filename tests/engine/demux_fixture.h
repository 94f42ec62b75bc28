#pragma once
// Shared set-up of the program-stream pass tests: packets made byte by byte, a job runner
// whose request the test sets, and the engine's own log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/demux.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/runner.h"
#include "support/memory_stream.h"
#include "support/ps_builder.h"
#include "support/recording_events.h"

namespace qf::test {

using Lines = std::vector<std::string>;
using Pts = std::optional<uint64_t>;
constexpr Family V = Family::Video, A = Family::Audio, S = Family::Subpicture;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// n bytes that never form a start code (every byte has its top bit set).
inline Bytes data(size_t n, uint8_t seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 | ((seed + i) & 0x7F));
    return b;
}

// n start codes 00 00 01 `code`, each followed by three filler bytes.
inline Bytes frames(uint8_t code, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.insert(b.end(), {0x00, 0x00, 0x01, code, 0x91, 0x92, 0x93});
    return b;
}

inline Bytes pes(uint8_t id, Bytes payload, Pts pts = {}, Pts dts = {}) {
    Pes p;
    p.streamId = id;
    p.pts = pts;
    p.dts = dts;
    p.payload = std::move(payload);
    return pesBytes(p);
}

inline Bytes vc1(uint8_t ext, Bytes payload, Pts pts = {}, bool pstd = false) {
    Pes p;
    p.streamId = 0xFD;
    p.pts = pts;
    p.streamIdExt = ext;
    p.pstd = pstd;
    p.payload = std::move(payload);
    return pesBytes(p);
}

// The sub-stream header that goes with a private-stream-1 id.
inline Bytes subFor(uint8_t id) {
    if (id >= 0xA0 && id <= 0xA7) return subHeaderLpcm(id);
    if (id >= 0xB0 && id <= 0xB7) return subHeaderTrueHD(id);
    if ((id & 0xC0) == 0x00 && (id & 0x20)) return subHeaderSub(id);
    if ((id & 0xE0) == 0x60) return subHeaderSub(id);
    return subHeaderAudio(id);
}

inline Bytes priv(uint8_t id, Bytes payload, Pts pts = {}) {
    Pes p;
    p.streamId = 0xBD;
    p.pts = pts;
    p.subHeader = subFor(id);
    p.payload = std::move(payload);
    return pesBytes(p);
}

// The lines a read with details gives a stream it meets: "NAME found!", its first PTS and
// its id ("MPEG-2 video stream 0", 0x1000, "E0").
inline Lines heading(const std::string& stream, uint32_t pts, const std::string& id) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(pts));
    return {stream + " found!", std::string("   First PTS = ") + hex, "   Stream id = " + id};
}

inline bool isEngineLine(const std::string& plain) {
    return plain.find(" found!") != std::string::npos || plain.rfind("   First PTS", 0) == 0 ||
           plain.rfind("   Stream id", 0) == 0 || plain.rfind("   Format", 0) == 0 ||
           plain.rfind("   No free slot", 0) == 0 || plain.rfind("It contains", 0) == 0;
}

// A job runner with the request a test sets up (details off) and passes over bytes.
struct PassBench {
    RecordingEvents host;
    JobRunner ctx{host};
    TempDir dir;

    PassBench() { ctx.job.pass.details = false; }

    void source(const Bytes& bytes, const std::string& name = "title.EVO") {
        const std::string path = dir / name;
        writeFile(path, bytes);
        ctx.job.source = path;
        ctx.io.SourceStream = std::make_unique<FileStream>(path, FileStream::Mode::Read);
    }
    // As a Read job does: slots and the earliest time are found anew.
    void readPass(const Bytes& bytes, const std::string& name = "title.EVO") {
        source(bytes, name);
        ctx.cat.Slots.clear();
        ctx.cat.EarliestPTS = 0xFFFFFFFF;
        demux(ctx, kReadPass);
    }
    void demuxPass(const Bytes& bytes, const std::string& name = "title.EVO") {
        source(bytes, name);
        demux(ctx, kDemuxPass);
    }
    void tick(Family family, int slot, bool on = true) {
        ctx.job.selection.at(family, static_cast<size_t>(slot)).checked = on;
    }
    // Ticks a stream and gives it an in-memory output.
    MemoryStream& out(Family family, int slot) {
        auto s = std::make_unique<MemoryStream>();
        MemoryStream& ref = *s;
        const auto k = static_cast<size_t>(slot);
        (family == V   ? ctx.io.VideoOut[k]
         : family == A ? ctx.io.AudioOut[k]
                       : ctx.io.SubOut[k]) = std::move(s);
        tick(family, slot);
        return ref;
    }
    // The engine's own lines (announcements and first-payload headings), as plain text.
    Lines engineLines() const {
        Lines r;
        for (const auto& l : host.lines)
            if (isEngineLine(plainText(l))) r.push_back(plainText(l));
        return r;
    }
};

} // namespace qf::test
