// Titles made of several segments (tests/support/make_segment_discs.sh) come out on one
// timeline: the read places each segment where it was authored, and in the MKV mkvmerge
// makes from the demux's options file every subtitle, chapter and audio segment is at its
// authored title time. mkvmerge and mkvextract are the judges.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;
using Ticks = std::int64_t;
namespace fs = std::filesystem;

const std::string kDir = QUILLFEN_SEGMENT_DIR;
constexpr Ticks kMs = 90;
constexpr Ticks kAudioFrame = 32 * kMs; // AC-3 at 48 kHz

struct Title {
    std::string name, source;
    Json disc, title;
};

std::vector<Title> titles() {
    std::ifstream in(kDir + "/expect.json");
    const Json all = Json::parse(in);
    std::vector<Title> list;
    for (const auto& [name, disc] : all.items())
        for (const Json& t : disc["titles"]) {
            const std::string source =
                disc.contains("vob")
                    ? "'" + kDir + "/" + name + "' --title " + std::to_string(t["title"].get<int>())
                    : "'" + kDir + "/" + disc["files"][0].get<std::string>() + "'";
            list.push_back(
                {name + " title " + std::to_string(t["title"].get<int>()), source, disc, t});
        }
    return list;
}

std::string cli(const std::string& args, int* status = nullptr) {
    return commandOutput(std::string("'") + QUILLFEN_CLI_PATH + "' " + args + " 2>/dev/null",
                         status);
}

// The authored offset (ms) of audio stream `id` in each source of the title.
std::vector<std::map<std::string, Ticks>> offsets(const Title& t) {
    std::vector<std::map<std::string, Ticks>> list;
    for (const Json& i : t.title["sources"]) {
        std::map<std::string, Ticks> m;
        for (const auto& [id, ms] : t.disc["sources"][i.get<size_t>()]["audio"].items())
            m[id] = ms.get<Ticks>();
        list.push_back(m);
    }
    return list;
}

std::string audioId(const std::string& slot) { // "a01" -> "0x81"
    char id[8];
    std::snprintf(id, sizeof id, "0x%x", 0x80 + std::stoi(slot.substr(1)));
    return id;
}

TEST(TitleTimeline, TheReadPlacesEverySegmentAndChapter) {
    for (const Title& t : titles()) {
        SCOPED_TRACE(t.name);
        const Ticks frame = t.disc["frame"].get<Ticks>();
        const Json report = Json::parse(cli("read --json " + t.source));
        const Json& segments = report["segments"];
        ASSERT_EQ(segments.size(), t.title["segments"].size());
        const auto authored = offsets(t);
        for (size_t i = 0; i < segments.size(); ++i) {
            EXPECT_NEAR(segments[i]["title_ticks"].get<double>(),
                        t.title["segments"][i].get<double>(), double(frame))
                << "segment " << i + 1;
            for (const Json& s : segments[i]["streams"]) {
                const std::string id = audioId(s["slot"].get<std::string>());
                ASSERT_TRUE(authored[i].count(id)) << id;
                EXPECT_NEAR(s["offset_ms"].get<double>(), double(authored[i].at(id)), 2) << id;
            }
        }
        // Each segment after the first is also an event.
        const std::string events =
            commandOutput(std::string("'") + QUILLFEN_CLI_PATH + "' read --events " + t.source +
                          " 2>&1 >/dev/null");
        std::istringstream lines(events);
        size_t told = 0;
        for (std::string line; std::getline(lines, line);)
            if (Json::parse(line)["event"] == "segment") ++told;
        EXPECT_EQ(told + 1, segments.size());
        const Json& chapters = report["chapters"];
        if (t.disc.contains("vob")) {
            ASSERT_EQ(chapters.size(), t.title["chapters"].size());
            for (size_t c = 0; c < chapters.size(); ++c)
                EXPECT_NEAR(chapters[c]["start"].get<double>() * 90000,
                            t.title["chapters"][c].get<double>(), double(frame))
                    << "chapter " << c + 1;
        }
    }
}

// The times mkvextract gives each track of the MKV (ms).
std::vector<double> trackTimes(const fs::path& mkv, int track) {
    const fs::path out = mkv.parent_path() / ("t" + std::to_string(track) + ".txt");
    commandOutput("mkvextract -q '" + mkv.string() + "' timestamps_v2 " + std::to_string(track) +
                  ":'" + out.string() + "'");
    std::ifstream in(out);
    std::string line;
    std::vector<double> times;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') times.push_back(std::stod(line));
    return times;
}

// The .idx's unit times (ms).
std::vector<double> idxTimes(const fs::path& idx) {
    std::ifstream in(idx);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    const std::regex re(R"(timestamp: (\d+):(\d+):(\d+):(\d+))");
    std::vector<double> times;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), re); it != std::sregex_iterator(); ++it)
        times.push_back(
            (std::stod((*it)[1]) * 3600 + std::stod((*it)[2]) * 60 + std::stod((*it)[3])) * 1000 +
            std::stod((*it)[4]));
    return times;
}

TEST(TitleTimeline, TheMkvPlaysEverySegmentAtItsTime) {
    const fs::path root = fs::temp_directory_path() / ("qf-timeline-" + std::to_string(getpid()));
    for (const Title& t : titles()) {
        SCOPED_TRACE(t.name);
        const double frameMs = t.disc["frame"].get<double>() / 90;
        const fs::path dir = root / std::regex_replace(t.name, std::regex(" "), "_");
        fs::create_directories(dir);
        int status = 0;
        cli("demux " + t.source + " -o '" + dir.string() + "'", &status);
        ASSERT_EQ(status, 0);
        fs::path options, mkv;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().string().ends_with(".mkvmerge.json")) options = e.path();
        ASSERT_FALSE(options.empty());
        commandOutput("cd '" + dir.string() + "' && mkvmerge -q @'" + options.filename().string() +
                          "'",
                      &status);
        ASSERT_EQ(status, 0) << "mkvmerge warned or failed";
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".mkv") mkv = e.path();
        EXPECT_TRUE(decodesCleanly(mkv.string()));
        const Json info = Json::parse(commandOutput("mkvmerge -J '" + mkv.string() + "'"));
        const auto authored = offsets(t);
        double video0 = 0;
        for (const Json& track : info["tracks"]) {
            const int id = track["id"].get<int>();
            const std::vector<double> times = trackTimes(mkv, id);
            ASSERT_FALSE(times.empty());
            const std::string type = track["type"].get<std::string>();
            const std::string name = track["properties"].value("track_name", "");
            if (type == "video") { // a still cell's picture held for its still time
                video0 = times.front();
                EXPECT_NEAR(times.back() - video0, t.title["length"].get<double>() / 90, frameMs);
                continue;
            }
            if (type == "subtitles") { // Subpicture.0K: sub-stream 0x20 + K
                char sid[8];
                std::snprintf(sid, sizeof sid, "0x%x", 0x20 + std::stoi(name.substr(11, 2)));
                const Json& want = t.title["subpictures"][sid];
                const std::vector<double> idx =
                    idxTimes(dir / (mkv.stem().string() + "." + name + ".idx"));
                ASSERT_EQ(idx.size(), want.size()) << name;
                for (size_t u = 0; u < want.size(); ++u) {
                    EXPECT_NEAR(times[u] - video0, want[u].get<double>() / 90, frameMs) << name;
                    EXPECT_NEAR(idx[u], want[u].get<double>() / 90, frameMs) << name << " .idx";
                }
                continue;
            }
            // Audio "DD.stream.0K": each segment's first frame at its start plus its offset.
            const std::string sid = audioId("a" + name.substr(10, 2));
            std::vector<double> starts = {times.front()};
            for (size_t k = 1; k < times.size(); ++k)
                if (times[k] < times[k - 1] || times[k] - times[k - 1] > 1.5 * 32)
                    starts.push_back(times[k]);
            std::vector<double> want;
            for (size_t i = 0; i < authored.size(); ++i)
                if (authored[i].count(sid))
                    want.push_back(t.title["segments"][i].get<double>() / 90 +
                                   double(authored[i].at(sid)));
            ASSERT_EQ(starts.size(), want.size()) << name;
            for (size_t i = 0; i < want.size(); ++i)
                EXPECT_NEAR(starts[i] - video0, want[i], double(kAudioFrame) / 90)
                    << name << " segment " << i + 1;
        }
    }
    fs::remove_all(root);
}

// --title all: a job per title of the disc, each named by its title.
TEST(TitleTimeline, TitleAllDemuxesEveryTitle) {
    const fs::path dir = fs::temp_directory_path() / ("qf-titles-" + std::to_string(getpid()));
    fs::create_directories(dir);
    int status = 0;
    cli("demux --title all '" + kDir + "/ntsc' -o '" + dir.string() + "'", &status);
    EXPECT_EQ(status, 0);
    for (const char* t : {"01", "02", "03"})
        EXPECT_TRUE(fs::exists(dir / (std::string("ntsc_title") + t + ".mkvmerge.json"))) << t;
    fs::remove_all(dir);
}

} // namespace
} // namespace qf::test
