// Cancels at several points of each job: the files cut off are named, every file is
// closed and nothing but the outputs is touched.
#include "fault_fixture.h"
#include "jobs/control.h"

namespace qf::test {
namespace {

// --- cancel -------------------------------------------------------------------------------

// Where the Cancel click comes: at the n-th message pump of the first or second part.
struct CancelPoint {
    const char* name;
    int part, pump;
};
const CancelPoint kCancelPoints[] = {{"first pump", 1, 1}, {"mid-file", 1, 2}, {"part 2", 2, 1}};

class CancelTest : public FaultTest, public ::testing::WithParamInterface<CancelPoint> {
protected:
    int64_t stopAt = 0; // source position of the block whose pump cancelled
    void SetUp() override {
        prepare(true);
        const CancelPoint& p = GetParam();
        host.onPump = [this, p] {
            const int part = ctx.io.PartStart > 0 ? 2 : 1;
            if (part == p.part && ++pumpsInPart == p.pump && !ctx.control.stopRequested()) {
                // Within the part; the source is the reader's while the pass runs.
                stopAt = ctx.io.BlockEnd - ctx.io.PartStart;
                requestCancel(ctx.control, [this] {
                    ++asked;
                    return true;
                });
            }
        };
    }
    int pumpsInPart = 0;
    int asked = 0; // how often the user was asked to confirm the stop
    // Part 1 in full when the cancel came in part 2, then the part read up to the pump.
    Bytes expected(int stream) const {
        const auto end = static_cast<size_t>(stopAt);
        if (GetParam().part == 1) return payloads(part1, end, stream);
        Bytes b = payloads(part1, part1.size(), stream);
        const Bytes second = payloads(part2, end, stream);
        b.insert(b.end(), second.begin(), second.end());
        return b;
    }
    void expectStoppedCleanly(const std::set<std::string>& outputs) {
        EXPECT_TRUE(ctx.control.stopRequested());
        EXPECT_EQ(stopAt, GetParam().pump * 4 * kMiB);
        EXPECT_EQ(countLines("Continue on"), GetParam().part - 1);
        const Lines lines = plainLines(); // no frame count lines after a cancel
        EXPECT_EQ(lines.back(), "");
        const std::string& last = lines[lines.size() - 2];
        // A writing job names what it cut off (their count and folder when more than
        // three); a read has no file to name. No "Done.".
        if (outputs.empty()) {
            EXPECT_EQ(last, "Cancelled.");
        } else if (outputs.size() > 3) {
            EXPECT_EQ(last, "Cancelled: " + std::to_string(outputs.size()) + " files in \"" +
                                dir.path + "\" are incomplete.");
        } else {
            EXPECT_TRUE(last.starts_with("Cancelled: ") && last.ends_with(" incomplete.")) << last;
        }
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Done."), 0);
        expectClosedAndOnly(outputs);
    }
};

TEST_P(CancelTest, Demux) {
    const std::string base = "FEATURE_1_FEATURE_2";
    EXPECT_EQ(run(&JobBench::demux), "");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(video(base), expected(kVC1));
    EXPECT_EQ(audio(base), expected(0xC0));
    expectStoppedCleanly(demuxOutputs(base));
}

TEST_P(CancelTest, Rebuild) {
    EXPECT_EQ(run(&JobBench::rebuild), "");
    Bytes want = slice(part1, 0, GetParam().part == 1 ? static_cast<size_t>(stopAt) : SIZE_MAX);
    if (GetParam().part == 2) {
        const Bytes rest = slice(part2, 0, static_cast<size_t>(stopAt));
        want.insert(want.end(), rest.begin(), rest.end());
    }
    EXPECT_EQ(readFile(stem("FEATURE_1_FEATURE_2") + "rebuilt.EVO"), want);
    expectStoppedCleanly({stem("FEATURE_1_FEATURE_2") + "rebuilt.EVO"});
}

TEST_P(CancelTest, Read) {
    bench.runWithFollowUp(JobKind::Read, JobKind::Demux);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ctx.cat.FrameCount[0], 0);
    EXPECT_TRUE(host.listed.video[0].present && host.listed.audio[0].present);
    EXPECT_EQ(countLines("Opening file"), 1); // no Demux after a cancel
    expectStoppedCleanly({});
}

INSTANTIATE_TEST_SUITE_P(Points, CancelTest, ::testing::ValuesIn(kCancelPoints), [](const auto& p) {
    std::string n = p.param.name;
    for (char& c : n)
        if (c == ' ' || c == '-') c = '_';
    return n;
});

} // namespace
} // namespace qf::test
