// The folder a job writes into is the one it opened: whoever renames it mid-job and puts a
// link to another folder under its name gets none of the later files (chapters, the
// options file) there.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

#include "engine/events.h"
#include "jobs/jobs.h"
#include "jobs/runner.h"
#include "samples/sample_disc.h"
#include "support/ps_builder.h"
#include "support/slow_stream.h"

namespace qf::test {
namespace {

TEST(OutputFolderOfAJob, ASwapMidJobSendsNoLaterFileElsewhere) {
    TempDir tmp;
    writeSampleDisc(tmp / "disc");
    const std::string out = tmp / "out", moved = tmp / "moved", other = tmp / "other";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);

    NullEvents events;
    JobRunner ctx(events);
    JobRequest request;
    request.source = tmp / "disc/HVDVD_TS/FEATURE_1.EVO";
    request.workdir = out;
    request.allParts = false;
    readJob(ctx, request);
    request.selection.at(Family::Video, 0) = {true, ctx.cat.Listed.at(Family::Video, 0).caption};
    ctx.cat.titleFacts.chapters = {{0, "One"}, {1, "Two"}};

    // The demux pass is held after its first read, once the stream's file exists.
    auto gate = std::make_shared<ReadGate>();
    gate->hold();
    ctx.openFile = [gate](const std::string& path) -> std::unique_ptr<Stream> {
        return std::make_unique<SlowStream>(
            std::make_unique<FileStream>(path, FileStream::Mode::Read), gate, 1);
    };
    std::exception_ptr failed;
    std::thread job([&] {
        try {
            demuxJob(ctx, request);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (folderNames(out).empty() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(::rename(out.c_str(), moved.c_str()), 0);
    EXPECT_EQ(::symlink(other.c_str(), out.c_str()), 0);
    gate->release();
    job.join();
    ASSERT_FALSE(failed);

    EXPECT_TRUE(folderNames(other).empty());
    EXPECT_EQ(folderNames(moved),
              (std::vector<std::string>{"FEATURE_1.VC-1.stream.0.vc1", "FEATURE_1.chapters.txt",
                                        "FEATURE_1.chapters.xml", "FEATURE_1.mkvmerge.json"}));
}

} // namespace
} // namespace qf::test
