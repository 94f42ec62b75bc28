// The discs of titles made of several segments (tests/support/make_segment_discs.sh, run
// once per build as the CTest fixture segment_discs) are what their expect.json says they
// are: lsdvd reads their titles, ffprobe the time stamps in each segment of every VOB.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "engine/dvd_disc.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;
using Ticks = std::int64_t;

const std::string kDir = QUILLFEN_SEGMENT_DIR;
constexpr Ticks kMs = 90;

Json expected() {
    std::ifstream in(kDir + "/expect.json");
    return Json::parse(in);
}

// What ffprobe finds in one segment of a file: the video's first time stamp and length,
// each audio stream's first time stamp and each subpicture unit's, by stream id.
struct Seen {
    Ticks videoFirst = INT64_MAX;
    Ticks dtsFirst = INT64_MAX, dtsLast = INT64_MIN; // every frame has one, the last shown too
    std::map<std::string, Ticks> audioFirst;
    std::map<std::string, std::vector<Ticks>> units;
};

// The segments of a file in order. The video's decoding time stamps rise within a
// segment, so one that does not starts the next; an audio stream restarts when its time
// stamps go back; a subpicture unit belongs to the segment whose video began before it.
// The length is taken from the decoding time stamps: the frame shown last may carry none
// of its own presentation time.
std::vector<Seen> segmentsOf(const std::string& file) {
    const Json j = Json::parse(ffprobe(kDir, "-show_entries stream=index,id,codec_type:packet="
                                             "stream_index,pts,dts,pos -of json '" +
                                                 file + "'"));
    std::map<int, std::pair<std::string, std::string>> streams; // index -> type, id
    for (const Json& s : j["streams"])
        streams[s["index"].get<int>()] = {s.value("codec_type", ""), s.value("id", "")};
    std::vector<Seen> seen;
    Ticks lastDts = INT64_MIN;
    std::map<std::string, Ticks> lastAudio, pending; // an audio start waiting for its video
    for (const Json& p : j["packets"]) {
        const auto& [type, id] = streams[p["stream_index"].get<int>()];
        const Ticks pts = p.contains("pts") ? p["pts"].get<Ticks>() : INT64_MIN;
        if (type == "video" && (p.contains("dts") || pts != INT64_MIN)) {
            const Ticks dts = p.contains("dts") ? p["dts"].get<Ticks>() : pts;
            if (seen.empty() || dts <= lastDts) {
                seen.emplace_back();
                seen.back().audioFirst = std::move(pending);
                pending.clear();
            }
            lastDts = dts;
            Seen& s = seen.back();
            s.dtsFirst = std::min(s.dtsFirst, dts), s.dtsLast = std::max(s.dtsLast, dts);
            if (pts != INT64_MIN) s.videoFirst = std::min(s.videoFirst, pts);
        } else if (type == "audio" && pts != INT64_MIN) {
            const auto last = lastAudio.find(id);
            if (last == lastAudio.end() || pts < last->second) {
                // A start in file order before its segment's first video packet waits for it.
                if (!seen.empty() && !seen.back().audioFirst.count(id))
                    seen.back().audioFirst[id] = pts;
                else
                    pending[id] = pts;
            }
            lastAudio[id] = pts;
        } else if (type == "subtitle" && !seen.empty() && pts != INT64_MIN) {
            seen.back().units[id].push_back(pts);
        }
    }
    if (!pending.empty()) {
        seen.emplace_back();
        seen.back().audioFirst = std::move(pending);
    }
    return seen;
}

void expectSource(const Seen& seen, const Json& source, Ticks frame) {
    SCOPED_TRACE(source["file"].get<std::string>());
    EXPECT_EQ(seen.dtsLast + frame - seen.dtsFirst, source["length"].get<Ticks>());
    EXPECT_EQ(seen.audioFirst.size(), source["audio"].size());
    for (const auto& [id, ms] : source["audio"].items()) {
        ASSERT_TRUE(seen.audioFirst.count(id)) << id;
        EXPECT_LE(std::llabs(seen.audioFirst.at(id) - seen.videoFirst - ms.get<Ticks>() * kMs), kMs)
            << id;
    }
    EXPECT_EQ(seen.units.size(), source["subpictures"].size());
    for (const auto& [id, times] : source["subpictures"].items()) {
        ASSERT_TRUE(seen.units.count(id)) << id;
        ASSERT_EQ(seen.units.at(id).size(), times.size()) << id;
        for (std::size_t i = 0; i < times.size(); ++i)
            EXPECT_LE(std::llabs(seen.units.at(id)[i] - seen.videoFirst - times[i].get<Ticks>()),
                      kMs)
                << id;
    }
}

// The title times follow from the sources: each segment after the previous one's last
// frame and still time, each unit at its segment's start plus its time in the segment.
void expectTitleTimes(const Json& disc, const Json& title) {
    const Json& sources = disc["sources"];
    Ticks at = 0;
    std::map<std::string, std::vector<Ticks>> units;
    for (std::size_t i = 0; i < title["sources"].size(); ++i) {
        const Json& source = sources[title["sources"][i].get<std::size_t>()];
        EXPECT_EQ(title["segments"][i].get<Ticks>(), at);
        for (const auto& [id, times] : source["subpictures"].items())
            for (const Json& t : times) units[id].push_back(at + t.get<Ticks>());
        at += source["length"].get<Ticks>() + title["still"][i].get<Ticks>();
    }
    EXPECT_EQ(title["length"].get<Ticks>(), at);
    for (const auto& [id, times] : title["subpictures"].items())
        EXPECT_EQ(units[id], times.get<std::vector<Ticks>>()) << id;
}

// lsdvd's "Title: 01, Length: 00:00:12.000 Chapters: 04, Cells: 05" lines.
struct LsdvdTitle {
    double seconds;
    int chapters, cells;
    std::vector<double> chapterLengths;
};
double seconds(const std::ssub_match& h, const std::ssub_match& m, const std::ssub_match& s) {
    return std::stoi(h) * 3600 + std::stoi(m) * 60 + std::stod(s);
}
// Each title's line, then its "Chapter: 01, Length: 00:00:02.000" lines.
std::vector<LsdvdTitle> lsdvd(const std::string& disc) {
    const std::string text = commandOutput("lsdvd -x '" + kDir + "/" + disc + "' 2>/dev/null");
    const std::regex re(R"(Title: \d+, Length: (\d+):(\d+):(\d+\.\d+) Chapters: (\d+), )"
                        R"(Cells: (\d+)|Chapter: \d+, Length: (\d+):(\d+):(\d+\.\d+))");
    std::vector<LsdvdTitle> titles;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
        const std::smatch& m = *it;
        if (m[1].matched)
            titles.push_back({seconds(m[1], m[2], m[3]), std::stoi(m[4]), std::stoi(m[5]), {}});
        else if (!titles.empty())
            titles.back().chapterLengths.push_back(seconds(m[6], m[7], m[8]));
    }
    return titles;
}

TEST(SegmentDiscs, SourcesHoldTheAuthoredTimes) {
    const Json all = expected();
    for (const auto& [name, disc] : all.items()) {
        SCOPED_TRACE(name);
        for (const Json& source : disc["sources"]) {
            const auto seen = segmentsOf(source["file"].get<std::string>());
            ASSERT_EQ(seen.size(), 1u);
            expectSource(seen[0], source, disc["frame"].get<Ticks>());
        }
        for (const Json& title : disc["titles"]) expectTitleTimes(disc, title);
    }
}

// dvdauthor keeps the time stamps: the VOB holds the sources' clocks one after another.
TEST(SegmentDiscs, VobsHoldTheSourcesClocks) {
    const Json all = expected();
    for (const auto& [name, disc] : all.items()) {
        if (!disc.contains("vob")) continue;
        SCOPED_TRACE(name);
        const Ticks frame = disc["frame"].get<Ticks>();
        const auto seen = segmentsOf(disc["vob"].get<std::string>());
        EXPECT_EQ(seen.size(), disc["clocks"].get<std::size_t>());
        Ticks length = 0, authored = 0;
        for (const Seen& s : seen) length += s.dtsLast + frame - s.dtsFirst;
        for (const Json& source : disc["sources"]) authored += source["length"].get<Ticks>();
        EXPECT_EQ(length, authored);
        if (seen.size() == disc["sources"].size())
            for (std::size_t i = 0; i < seen.size(); ++i)
                expectSource(seen[i], disc["sources"][i], frame);
    }
}

// The IFO's playback times leave out still times and count NTSC frames at 30 a second, so
// lsdvd's length is the title's less its still time, within a frame.
TEST(SegmentDiscs, LsdvdReadsTheTitles) {
    const Json all = expected();
    for (const auto& [name, disc] : all.items()) {
        if (!disc.contains("vob")) continue;
        SCOPED_TRACE(name);
        const auto titles = lsdvd(name);
        ASSERT_EQ(titles.size(), disc["titles"].size());
        for (const Json& title : disc["titles"]) {
            const LsdvdTitle& t = titles[title["title"].get<std::size_t>() - 1];
            Ticks still = 0;
            for (const Json& s : title["still"]) still += s.get<Ticks>();
            EXPECT_EQ(t.cells, title["cells"].get<int>());
            EXPECT_EQ(t.chapters, static_cast<int>(title["chapters"].size()));
            EXPECT_EQ(t.chapterLengths.size(), title["chapters"].size());
            // Chapter starts, with the still times before each left out.
            double start = 0;
            for (std::size_t c = 0; c < t.chapterLengths.size(); ++c) {
                Ticks stillBefore = 0;
                for (std::size_t i = 0; i < title["segments"].size(); ++i)
                    if (title["segments"][i].get<Ticks>() < title["chapters"][c].get<Ticks>())
                        stillBefore += title["still"][i].get<Ticks>();
                EXPECT_NEAR(start, double(title["chapters"][c].get<Ticks>() - stillBefore) / 90000,
                            double(disc["frame"].get<Ticks>()) / 90000)
                    << "chapter " << c + 1;
                start += t.chapterLengths[c];
            }
            EXPECT_NEAR(t.seconds, double(title["length"].get<Ticks>() - still) / 90000,
                        double(disc["frame"].get<Ticks>()) / 90000);
        }
    }
}

// dvdauthor stores the episodes' cells once: the play-all title plays them in a row.
TEST(SegmentDiscs, ThePlayAllTitleIsMarked) {
    const std::vector<DiscTitle> titles = readDiscTitles(DiscSource{kDir + "/ntsc"});
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_TRUE(titles[0].playsTitles.empty());
    EXPECT_EQ(titles[2].playsTitles, (std::vector<int>{1, 2}));
    for (const DiscTitle& t : titles) EXPECT_FALSE(t.sameCellsAs > 0 || t.outOfOrder) << t.number;
}

} // namespace
} // namespace qf::test
