// DVD-Video discs made by dvdauthor, spumux and genisoimage (tests/support/make_dvd_discs.sh,
// run once per build as the CTest fixture dvd_discs): the titles as lsdvd reads them, and
// the demuxed streams of each title as ffmpeg copies them out of the program streams the
// titles were authored from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "engine/dvd_disc.h"
#include "engine/paths.h"
#include "engine/title_stream.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;

const std::string kDiscs = QUILLFEN_DVD_DIR;
constexpr double kFrame = 0.04; // PAL

// Every text of <tag>…</tag> in xml, in order.
std::vector<std::string> all(const std::string& xml, const std::string& tag) {
    std::vector<std::string> found;
    const std::regex re("<" + tag + ">([^<]*)</" + tag + ">");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator();
         ++it)
        found.push_back((*it)[1]);
    return found;
}

// The blocks <tag>…</tag> (not nested in themselves) of xml.
std::vector<std::string> blocks(const std::string& xml, const std::string& tag) {
    std::vector<std::string> found;
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
        const size_t end = xml.find(close, at);
        found.push_back(xml.substr(at, end - at));
    }
    return found;
}

// The tracks lsdvd lists, by title number.
std::map<int, std::string> lsdvdTracks(const std::string& disc) {
    std::map<int, std::string> tracks;
    for (const std::string& t :
         blocks(commandOutput("lsdvd -x -Ox '" + disc + "' 2>/dev/null"), "track"))
        tracks[std::stoi(all(t, "ix").front())] = t;
    return tracks;
}

// A source as a test-case name.
std::string sourceName(std::string source) {
    for (char& c : source)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return source;
}

int component(uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

struct TitlesCase {
    std::string source; // under the discs' folder
    std::vector<int> titles;
};

class DvdTitlesTest : public ::testing::TestWithParam<TitlesCase> {};

TEST_P(DvdTitlesTest, EqualWhatLsdvdReads) {
    const TitlesCase& c = GetParam();
    const CliResult r = runCli({"titles", kDiscs + "/" + c.source, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    std::vector<int> numbers;
    for (const Json& t : doc["titles"]) numbers.push_back(t["title"]);
    ASSERT_EQ(numbers, c.titles);

    const auto tracks = lsdvdTracks(kDiscs + "/pal");
    for (const Json& t : doc["titles"]) {
        const int number = t["title"];
        SCOPED_TRACE("title " + std::to_string(number));
        const std::string& track = tracks.at(number);
        EXPECT_EQ(t["title_set"], std::stoi(all(track, "vts").front()));
        EXPECT_NEAR(t["length"].get<double>(), std::stod(all(track, "length").front()), kFrame);
        // The picture and the cells, in lsdvd's words.
        const Json& v = t["video"];
        const std::string df = v["display_format"].is_null() ? "?" : v["display_format"];
        const std::map<std::string, std::string> dfWords = {
            {"?", "?"},
            {"letterbox", "Letterbox"},
            {"pan-scan", "Pan&Scan"},
            {"pan-scan and letterbox", "P&S + Letter"}};
        char fps[16];
        std::snprintf(fps, sizeof fps, "%.2f", v["frame_rate"].get<double>());
        std::string aspect = v["aspect"];
        aspect[aspect.find(':')] = '/';
        EXPECT_EQ(
            std::vector<std::string>({v["standard"], std::to_string(v["width"].get<int>()),
                                      std::to_string(v["height"].get<int>()), aspect,
                                      dfWords.at(df), fps}),
            std::vector<std::string>({all(track, "format").front(), all(track, "width").front(),
                                      all(track, "height").front(), all(track, "aspect").front(),
                                      all(track, "df").front(), all(track, "fps").front()}));
        const std::vector<std::string> cells = blocks(track, "cell");
        ASSERT_EQ(t["cells"].size(), cells.size());
        for (size_t k = 0; k < cells.size(); ++k)
            EXPECT_NEAR(t["cells"][k]["length"].get<double>(),
                        std::stod(all(cells[k], "length").front()), kFrame);

        const std::vector<std::string> chapters = blocks(track, "chapter");
        ASSERT_EQ(t["chapters"].size(), chapters.size());
        double start = 0;
        for (size_t k = 0; k < chapters.size(); ++k) {
            const double length = std::stod(all(chapters[k], "length").front());
            EXPECT_NEAR(t["chapters"][k]["start"].get<double>(), start, kFrame);
            EXPECT_NEAR(t["chapters"][k]["duration"].get<double>(), length, kFrame);
            start += length;
        }

        // Languages and channels in the order the disc lists the streams; lsdvd says "xx"
        // for a stream without a language.
        std::vector<std::string> want, got;
        for (const std::string& a : blocks(track, "audio"))
            want.push_back("audio " + all(a, "langcode").front() + " " +
                           all(a, "channels").front() + " " + all(a, "frequency").front());
        for (const std::string& s : blocks(track, "subp"))
            want.push_back("subpicture " + all(s, "langcode").front());
        for (const Json& s : t["streams"]) {
            if (s["family"] == "video") continue;
            const std::string lang = s["language"].is_null() ? "xx" : s["language"];
            got.push_back(s["family"].get<std::string>() + " " + lang +
                          (s["family"] == "audio"
                               ? " " + std::to_string(s["channels"].get<int>()) + " " +
                                     std::to_string(s["sample_rate"].get<int>())
                               : ""));
        }
        EXPECT_EQ(got, want);
    }
}

INSTANTIATE_TEST_SUITE_P(Dvdauthor, DvdTitlesTest,
                         ::testing::Values(TitlesCase{"pal", {1, 2, 3}},
                                           TitlesCase{"pal.iso", {1, 2, 3}},
                                           TitlesCase{"pal/VIDEO_TS/", {1, 2, 3}},
                                           TitlesCase{"pal/VIDEO_TS/VTS_02_0.IFO", {3}}),
                         [](const auto& p) { return sourceName(p.param.source); });

// What the disc was authored with: the palette in RGB, the languages, and on the 16:9
// title the widescreen subpictures in stream 1.
TEST(DvdTitles, CarryTheAuthoredPaletteLanguagesAndSubpictureMapping) {
    const CliResult r = runCli({"titles", kDiscs + "/pal.iso", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["longest"], 1);

    FILE* f = std::fopen((kDiscs + "/palette.rgb").c_str(), "r");
    ASSERT_NE(f, nullptr);
    const Json& palette = doc["titles"][0]["palette"];
    for (size_t k = 0; k < 16; ++k) {
        unsigned want = 0;
        ASSERT_EQ(std::fscanf(f, "%x", &want), 1);
        const auto got =
            static_cast<uint32_t>(std::stoul(palette[k].get<std::string>(), nullptr, 16));
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(component(got, shift), component(want, shift), 2) << "colour " << k;
    }
    std::fclose(f);

    auto describe = [](const Json& title) {
        std::string text;
        for (const Json& s : title["streams"])
            text += s["select"].get<std::string>() + " " + s["stream_id_hex"].get<std::string>() +
                    " " + s["format"].get<std::string>() + " " +
                    (s["language_name"].is_null() ? "-" : s["language_name"].get<std::string>()) +
                    "; ";
        return text;
    };
    EXPECT_EQ(
        describe(doc["titles"][0]),
        "v0 E0 MPEG-2 -; a00 80 AC-3 English; a01 81 AC-3 Spanish; s00 20 Subpicture French; ");
    EXPECT_EQ(describe(doc["titles"][2]),
              "v0 E0 MPEG-2 -; a00 80 AC-3 German; s01 21 Subpicture -; ");

    EXPECT_EQ(languageName("es"), "Spanish");
    EXPECT_EQ(languageName("qq"), "qq");
}

struct DemuxCase {
    std::string source;
    int title;
    std::string authored;           // the program stream the title was authored from
    std::vector<std::string> files; // the outputs, in the order demux writes them
    std::string opening;            // the log's first line
};

class DvdDemuxTest : public ::testing::TestWithParam<DemuxCase> {};

TEST_P(DvdDemuxTest, WritesTheAuthoredStreams) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const DemuxCase& c = GetParam();
    TempDir out;
    // The stream files alone, named as ever: what is compared with ffmpeg's copies.
    const CliResult r = runCli({"demux", kDiscs + "/" + c.source, "--title",
                                std::to_string(c.title), "-o", out.path, "--json",
                                "--no-mkvmerge-options", "--no-chapters", "--sub-format", "sup"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["log"][0], c.opening);
    EXPECT_EQ(doc["title"]["title"], c.title);
    EXPECT_EQ(doc["title"]["angle"], 1);
    std::vector<std::string> files;
    for (const Json& f : doc["files"]) files.push_back(namePart(f["path"]));
    ASSERT_EQ(files, c.files);

    // Each stream as ffmpeg copies it out of the authored program stream, byte for byte.
    const std::string authored = kDiscs + "/authored/" + c.authored;
    ASSERT_TRUE(ffmpeg(out.path, "-i '" + authored + "' -map 0:v -c copy -f mpeg2video v.m2v"));
    EXPECT_EQ(readFile(out / files[0]), readFile(out / "v.m2v"));
    size_t audio = 0;
    for (const std::string& name : files) {
        if (name.find(".DD.stream.") == std::string::npos) continue;
        const std::string copy = "a" + std::to_string(audio) + ".ac3";
        ASSERT_TRUE(ffmpeg(out.path, "-i '" + authored + "' -map 0:a:" + std::to_string(audio) +
                                         " -c copy -f ac3 " + copy));
        EXPECT_EQ(readFile(out / name), readFile(out / copy)) << name;
        ++audio;
    }
    // The frames counted are the frames ffprobe counts in the demuxed video.
    const std::string frames =
        ffprobe(out.path, "-count_frames -show_entries stream=nb_read_frames -of csv=p=0 v.m2v");
    ASSERT_EQ(doc["frames"].size(), 1u);
    EXPECT_EQ(doc["frames"][0]["count"], std::stoi(frames));
}

INSTANTIATE_TEST_SUITE_P(
    Dvdauthor, DvdDemuxTest,
    ::testing::Values(
        DemuxCase{"pal",
                  1,
                  "t1s.mpg",
                  {"pal_title01.MPEG-2.stream.0.mpv", "pal_title01.DD.stream.00.English.mpa",
                   "pal_title01.DD.stream.01.Spanish.mpa", "pal_title01.Subpicture.00.French.sup"},
                  "Opening title 1 of pal (3 chapters, 0:00:30)"},
        DemuxCase{"pal.iso",
                  2,
                  "t2.mpg",
                  {"pal_title02.MPEG-2.stream.0.mpv", "pal_title02.DD.stream.00.English.mpa"},
                  "Opening title 2 of pal.iso (1 chapter, 0:00:04)"},
        DemuxCase{"pal/VIDEO_TS/VTS_02_0.IFO",
                  3,
                  "t3s.mpg",
                  {"VTS_02_0_title03.MPEG-2.stream.0.mpv",
                   "VTS_02_0_title03.DD.stream.00.German.mpa", "VTS_02_0_title03.Subpicture.00.sup",
                   "VTS_02_0_title03.Subpicture.01.sup"},
                  "Opening title 3 of VTS_02_0.IFO (1 chapter, 0:00:06)"}),
    [](const auto& p) { return sourceName(p.param.source) + "_" + std::to_string(p.param.title); });

// The longest title when none is chosen; a title or angle the disc lacks is an error, and
// --title on a file a usage error.
TEST(DvdTitleChoice, DefaultsAndRefusals) {
    const std::string disc = kDiscs + "/pal";
    CliResult r = runCli({"read", disc, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["title"]["title"], 1);
    EXPECT_EQ(doc["title"]["chapters"].size(), 3u);
    EXPECT_EQ(doc["title"]["palette"].size(), 16u);
    std::string languages;
    for (const Json& s : doc["streams"])
        languages += s["caption"].get<std::string>() + " " +
                     (s["language"].is_null() ? "-" : s["language"].get<std::string>()) + " " +
                     (s["language_name"].is_null() ? "-" : s["language_name"].get<std::string>()) +
                     "; ";
    EXPECT_EQ(languages, "MPEG-2.stream.0 - -; DD.stream.00.English en English; "
                         "DD.stream.01.Spanish es Spanish; Subpicture.00.French fr French; ");
    r = runCli({"read", disc, "--title", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Title 4 is not on pal (titles 1-3)"), std::string::npos) << r.err;
    r = runCli({"read", disc, "--angle", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Title 1 has no angle 2 (angles 1-1)"), std::string::npos) << r.err;
    r = runCli({"read", kDiscs + "/authored/t2.mpg", "--title", "1"});
    EXPECT_EQ(r.status, 2) << r.err;
}

// The title reader hands out the bytes of the cells' sectors of the VOB file, in order,
// whatever sizes it is asked for and wherever it is sought to.
TEST(DvdTitleStream, ReadsTheCellsSectorsInAnyPieces) {
    const auto source = discSource(kDiscs + "/pal");
    ASSERT_TRUE(source);
    const std::vector<DiscTitle> titles = readDiscTitles(*source);
    ASSERT_EQ(titles.size(), 3u);
    const Bytes vob = readFile(kDiscs + "/pal/VIDEO_TS/VTS_01_1.VOB");
    for (const DiscTitle& t : {titles[1], titles[0]}) {
        Bytes want;
        for (const SectorRange& r : t.sectors(1))
            want.insert(want.end(), vob.begin() + r.first * 2048L,
                        vob.begin() + (r.last + 1) * 2048L);
        TitleStream title(source->disc, t.titleSet, t.sectors(1));
        ASSERT_EQ(title.size(), static_cast<int64_t>(want.size()));
        for (size_t piece : {size_t{1000}, size_t{2048}, size_t{5000}, size_t{3} << 20}) {
            title.seek(0);
            Bytes got(want.size() + 10);
            size_t at = 0;
            for (size_t n; (n = title.read(got.data() + at, std::min(piece, got.size() - at))) > 0;)
                at += n;
            got.resize(at);
            EXPECT_TRUE(got == want) << "title " << t.number << " in pieces of " << piece;
        }
        const int64_t middle = title.size() / 2 + 7;
        title.seek(middle);
        Bytes tail(100000);
        tail.resize(title.read(tail.data(), tail.size()));
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), want.begin() + middle));
        EXPECT_EQ(title.position(), middle + static_cast<int64_t>(tail.size()));
    }
}

// What a demux of a disc's title hands to the muxer carries what the IFO files say: the
// palette and language in the VobSub index, languages, names and chapters in the MKV that
// mkvmerge makes from the options file.
TEST(DvdMuxerFiles, ATitleReachesMatroskaWithTheDiscsFacts) {
    if (commandOutput("command -v mkvmerge").empty()) GTEST_SKIP() << "mkvmerge is not installed";
    TempDir out;
    const CliResult r = runCli({"demux", kDiscs + "/pal", "--title", "1", "-o", out.path});
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string idx =
        commandOutput("cat '" + out / "pal_title01.Subpicture.00.French.idx" + "'");
    EXPECT_NE(idx.find("\nid: fr, index: 0\n"), std::string::npos) << idx;
    const size_t at = idx.find("palette: ");
    ASSERT_NE(at, std::string::npos) << idx;
    FILE* f = std::fopen((kDiscs + "/palette.rgb").c_str(), "r");
    ASSERT_NE(f, nullptr);
    const char* p = idx.c_str() + at + 9;
    for (int k = 0; k < 16; ++k) {
        unsigned want = 0, got = 0;
        ASSERT_EQ(std::fscanf(f, "%x", &want), 1);
        ASSERT_EQ(std::sscanf(p, "%6x", &got), 1) << k;
        p += 8; // "rrggbb, "
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF),
                        static_cast<int>((want >> shift) & 0xFF), 2)
                << "colour " << k;
    }
    std::fclose(f);

    ASSERT_EQ(std::system(("cd '" + out.path +
                           "' && mkvmerge -q @pal_title01.mkvmerge.json >/dev/null 2>&1")
                              .c_str()),
              0);
    const Json mkv = Json::parse(commandOutput("mkvmerge -J '" + out / "pal_title01.mkv" + "'"));
    std::vector<std::string> tracks;
    for (const Json& t : mkv["tracks"])
        tracks.push_back(t["type"].get<std::string>() + " " +
                         t["properties"]["track_name"].get<std::string>() + " " +
                         t["properties"]["language"].get<std::string>());
    EXPECT_EQ(tracks, (std::vector<std::string>{
                          "video MPEG-2.stream.0 und", "audio DD.stream.00.English eng",
                          "audio DD.stream.01.Spanish spa", "subtitles Subpicture.00.French fre"}));
    ASSERT_EQ(mkv["chapters"].size(), 1u);
    EXPECT_EQ(mkv["chapters"][0]["num_entries"], 3);
}

// A title over 1 GiB lies in VTS_01_1.VOB and VTS_01_2.VOB: read whole, as ffmpeg copies the
// streams out of the two files joined. Files of this size are compared by cmp, not in memory.
TEST(DvdBigTitle, IsReadAcrossItsVobFiles) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not available";
    const std::string vobs = kDiscs + "/big/VIDEO_TS/";
    TempDir out;
    const std::string cli = std::string(QUILLFEN_CLI_PATH) + " demux '" + kDiscs +
                            "/big' --no-fast-check --no-mkvmerge-options -o '" + out.path + "'";
    const std::string log = commandOutput(cli + " 2>&1");
    EXPECT_EQ(log.substr(0, log.find("It contains")),
              "Opening title 1 of big (1 chapter, 0:17:00)\nFile size: 1043 Mbytes.\n");
    EXPECT_NE(log.find("25500 frames (0:17:00 s) count in video stream 0."), std::string::npos)
        << log;
    const std::string joined = "-i 'concat:" + vobs + "VTS_01_1.VOB|" + vobs + "VTS_01_2.VOB'";
    ASSERT_TRUE(ffmpeg(out.path, joined + " -map 0:v -c copy -f mpeg2video v.m2v"));
    ASSERT_TRUE(ffmpeg(out.path, joined + " -map 0:a -c copy -f ac3 a.ac3"));
    auto same = [&](const std::string& a, const std::string& b) {
        return std::system(("cmp -s '" + out / a + "' '" + out / b + "'").c_str()) == 0;
    };
    EXPECT_TRUE(same("v.m2v", "big_title01.MPEG-2.stream.0.mpv"));
    EXPECT_TRUE(same("a.ac3", "big_title01.DD.stream.00.mpa"));
}

// A title's rebuild stays a VOB, one that ffmpeg reads through to its end.
TEST(DvdRebuild, IsAVobOfTheTitle) {
    TempDir out;
    const CliResult r = runCli({"rebuild", kDiscs + "/pal", "--title", "2", "-o", out.path});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string rebuilt = out / "pal_title02.rebuilt.VOB";
    ASSERT_TRUE(std::filesystem::exists(rebuilt)) << r.out;
    EXPECT_FALSE(std::filesystem::exists(out / "pal_title02.rebuilt.EVO"));
    if (haveFfmpeg()) {
        EXPECT_TRUE(decodesCleanly(rebuilt));
    }
}

// Title set 2 copied alone, without VIDEO_TS.IFO: its title is the disc's title 3 under the
// number 1, read through its own IFO; its VOB beside that IFO takes the set's languages.
TEST(DvdPartialCopy, IsReadThroughItsTitleSetsIfo) {
    TempDir copy, out;
    for (const char* name : {"VTS_02_0.IFO", "VTS_02_0.BUP", "VTS_02_1.VOB"})
        std::filesystem::copy_file(kDiscs + "/pal/VIDEO_TS/" + name, copy / name);
    const CliResult whole = runCli({"titles", kDiscs + "/pal", "--json"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    Json want = Json::parse(whole.out)["titles"][2];
    want["title"] = 1;
    for (const std::string& source : {copy.path, copy / "VTS_02_0.IFO"}) {
        const CliResult r = runCli({"titles", source, "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const Json doc = Json::parse(r.out);
        EXPECT_TRUE(doc["title_sets_only"]);
        ASSERT_EQ(doc["titles"].size(), 1u);
        EXPECT_EQ(doc["titles"][0], want);
    }

    CliResult r = runCli({"demux", copy.path, "-o", out.path, "--no-mkvmerge-options"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("No VIDEO_TS.IFO: title 1 and its streams are VTS_02_0.IFO's"),
              std::string::npos)
        << r.out;
    const CliResult disc =
        runCli({"demux", kDiscs + "/pal", "--title", "3", "-o", out.path, "--no-mkvmerge-options"});
    ASSERT_EQ(disc.status, 0) << disc.err;
    const std::string copyBase = namePart(copy.path) + "_title01", discBase = "pal_title03";
    for (const char* stream : {".MPEG-2.stream.0.mpv", ".DD.stream.00.German.mpa"})
        EXPECT_EQ(readFile(out / (copyBase + stream)), readFile(out / (discBase + stream)))
            << stream;

    r = runCli({"demux", copy / "VTS_02_1.VOB", "-o", out.path, "--no-mkvmerge-options"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Palette and languages from VTS_02_0.IFO (title 1)"), std::string::npos)
        << r.out;
    EXPECT_TRUE(std::filesystem::exists(out / "VTS_02_1.DD.stream.00.German.mpa"));
}

} // namespace
} // namespace qf::test
