#pragma once
// The fault tests' titles and bench: a title of a few MiB read with every stream ticked,
// the folder watched for what a job touches, and the files a job holds open counted.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "job_fixture.h"

namespace qf::test {

namespace fs = std::filesystem;
constexpr int64_t kMiB = 1 << 20;

inline int openFds() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// What a demux pass writes for the packs in ps[0, end) of one stream: the VC-1 payloads,
// or those of one E-AC-3 sub-stream behind its 4-byte sub-stream header.
constexpr int kVC1 = -1;
inline Bytes payloads(const Bytes& ps, size_t end, int stream = kVC1) {
    Bytes out;
    for (size_t at = 0; at + kPackSize <= std::min(end, ps.size()); at += kPackSize) {
        const uint8_t* p = ps.data() + at;
        const uint8_t* data = p + 23 + p[22];
        if (stream == kVC1 ? p[17] != 0xFD : p[17] != 0xBD || data[0] != stream) continue;
        const size_t length = static_cast<size_t>(p[18]) << 8 | p[19];
        out.insert(out.end(), data + (stream == kVC1 ? 0 : 4), p + 20 + length);
    }
    return out;
}

inline bool isPrefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

inline Bytes slice(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(std::min(to, b.size())));
}

// A title of about `mib` MiB (a few packs for 0): VC-1 (0x55), E-AC-3 (0xC0) and a
// subpicture stream (0x20).
// Its navigation packs give one video and one audio stream, as a Read job ticks them, so
// a Rebuild of all its streams is the title itself.
inline Bytes makeTitle(int mib) {
    PsMuxer m;
    m.add(vc1Track(vc1Units(std::max(1, mib * 520), 1900)));
    m.add(
        audioTrack(repeatUnit(sample("eac3_51.eac3"), std::max(1, mib * 2)), subHeaderAudio(0xC0)));
    m.add(subTrack(0x20, subUnits(std::max(1, mib))));
    return m.build();
}

class FaultTest : public JobTest {
protected:
    static inline Bytes part1, part2; // three message pumps and one
    static void SetUpTestSuite() {
        if (!part1.empty()) return;
        part1 = makeTitle(12);
        part2 = makeTitle(5);
    }

    std::string source;
    Snapshot before;
    int fdsBefore = 0;

    // Writes the title, reads it (every stream ticked) and starts watching the folder.
    void prepare(bool secondPart = false) {
        source = dir / "FEATURE_1.EVO";
        writeFile(source, part1);
        if (secondPart) writeFile(dir / "FEATURE_2.EVO", part2);
        choose(source);
        bench.read();
        ASSERT_TRUE(request.selection.at(Family::Video, 0).checked &&
                    request.selection.at(Family::Audio, 0).checked &&
                    request.selection.at(Family::Subpicture, 0).checked);
        host.lines.clear();
        watch();
    }
    void watch() {
        before = snapshot(dir.path);
        fdsBefore = openFds();
    }
    // Runs a job of the bench (&JobBench::demux …); its error text, or "".
    using Job = JobOutcome (JobBench::*)();
    std::string run(Job job) {
        try {
            (bench.*job)();
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }
    // Every file closed, the job finished, and only the given outputs written.
    void expectClosedAndOnly(const std::set<std::string>& outputs) {
        EXPECT_TRUE(allOutputsClosed());
        EXPECT_FALSE(ctx.busy);
        EXPECT_FALSE(host.running);
        EXPECT_EQ(openFds(), fdsBefore);
        EXPECT_EQ(touched(before, snapshot(dir.path)), outputs);
    }
    std::string stem(const std::string& base = "FEATURE_1") const { return dir / (base + "."); }
    // The error of a source that became shorter than it was when opened.
    std::string shrunkText() const {
        return "Stream read error: \"" + source + "\". The file became shorter while it was read.";
    }
    std::set<std::string> demuxOutputs(const std::string& base = "FEATURE_1") const {
        return {stem(base) + "VC-1.stream.0.mpv", stem(base) + "DD+.stream.00.mpa",
                stem(base) + "Subpicture.00.sup"};
    }
    Bytes video(const std::string& base = "FEATURE_1") const {
        return readFile(stem(base) + "VC-1.stream.0.mpv");
    }
    Bytes audio(const std::string& base = "FEATURE_1") const {
        return readFile(stem(base) + "DD+.stream.00.mpa");
    }
    bool done() const { return countLines("Done.") == 1; }
};

} // namespace qf::test
