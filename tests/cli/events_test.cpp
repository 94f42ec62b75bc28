// --events: standard error read line by line as a wrapping script reads it.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

// Each line of standard error as one JSON value; a line that is none fails the test.
std::vector<Json> eventLines(const std::string& err) {
    std::vector<Json> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        SCOPED_TRACE(line);
        lines.push_back(Json::parse(line));
    }
    return lines;
}

// A 13 MB DVD program stream (MPEG-2 at 9 Mbit/s, AC-3, MP2): several progress points.
class EventsTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<TempDir> media;

    static void SetUpTestSuite() {
        if (!haveFfmpeg()) return;
        media = std::make_unique<TempDir>();
        const std::string tone = " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=12";
        if (!ffmpeg(media->path, "-f lavfi -i testsrc=size=720x576:rate=25:duration=12" + tone +
                                     tone +
                                     " -map 0 -map 1 -map 2 -c:v mpeg2video -b:v 9000k"
                                     " -minrate 9000k -maxrate 9000k -bufsize 1835k"
                                     " -c:a:0 ac3 -c:a:1 mp2 -f dvd title.VOB"))
            media.reset();
    }
    static void TearDownTestSuite() { media.reset(); }
};

TEST_F(EventsTest, DemuxTellsJobsStreamsProgressFilesAndOneStop) {
    if (!media) GTEST_SKIP() << "ffmpeg with mpeg2video, ac3 and mp2 is not available";
    TempDir out;
    const CliResult r = runCli({"demux", media->path + "/title.VOB", "--events", "--json",
                                "--no-fast-check", "-o", out.path});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json report = Json::parse(r.out); // --json's document is still the whole stdout
    const std::vector<Json> events = eventLines(r.err);
    ASSERT_FALSE(events.empty());

    std::vector<std::string> jobs;
    std::set<std::string> slots, files;
    int64_t lastDone = 0, total = 0;
    size_t progress = 0, stops = 0;
    for (const Json& e : events) {
        const std::string kind = e.at("event");
        if (kind == "job") {
            jobs.push_back(e.at("job"));
            lastDone = 0; // each job's pass counts from the start
        } else if (kind == "stream") {
            EXPECT_TRUE(slots.insert(e.at("slot")).second) << "told twice: " << e;
        } else if (kind == "progress") {
            ++progress;
            const int64_t done = e.at("done");
            total = e.at("total");
            EXPECT_GT(done, lastDone);
            EXPECT_LE(done, total);
            EXPECT_GE(e.at("remaining_s").get<int64_t>(), 0);
            lastDone = done;
        } else if (kind == "file") {
            files.insert(std::filesystem::path(e.at("path").get<std::string>()).filename());
        } else if (kind == "stopped") {
            ++stops;
            EXPECT_EQ(e.at("reason"), "done");
            EXPECT_EQ(e.at("status"), 0);
            EXPECT_EQ(e.at("read_complete"), true);
        }
    }
    EXPECT_EQ(jobs, (std::vector<std::string>{"read", "demux"}));
    EXPECT_EQ(slots, (std::set<std::string>{"v0", "a00", "a01"}));
    EXPECT_GE(progress, 4u); // two passes over three 4 MiB points each
    EXPECT_EQ(total, static_cast<int64_t>(std::filesystem::file_size(media->path + "/title.VOB")));
    EXPECT_EQ(stops, 1u);
    EXPECT_EQ(events.back().at("event"), "stopped");
    // The files told are the files the report lists and the folder holds.
    std::set<std::string> listed, held;
    for (const Json& f : report.at("files"))
        listed.insert(std::filesystem::path(f.at("path").get<std::string>()).filename());
    for (const auto& f : std::filesystem::directory_iterator(out.path))
        held.insert(f.path().filename());
    EXPECT_EQ(files, listed);
    EXPECT_EQ(files, held);
}

TEST(EventsErrorTest, AFailureIsAMessageEventThenTheStop) {
    const CliResult r = runCli({"read", "--events", "/nonexistent/title.VOB"});
    EXPECT_EQ(r.status, 1);
    const std::vector<Json> events = eventLines(r.err);
    ASSERT_GE(events.size(), 2u);
    const Json& message = events[events.size() - 2];
    EXPECT_EQ(message.at("event"), "message");
    EXPECT_NE(message.at("text").get<std::string>().find("No such file or directory"),
              std::string::npos);
    EXPECT_EQ(events.back(), (Json{{"event", "stopped"}, {"reason", "error"}, {"status", 1}}));
}

} // namespace
} // namespace qf::test
