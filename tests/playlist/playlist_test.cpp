// The playlist reader on the job runner: what a reading logs, lists, marks in the catalogue
// and models, the tag scanner, refused and hostile files. How the window shows a reading:
// tests/model/playlist_view_test.cpp.
#include "playlist/playlist.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "engine/paths.h"
#include "engine/stream.h"
#include "jobs/runner.h"
#include "support/playlist_data.h"
#include "support/ps_builder.h"
#include "support/recording_events.h"
#include "support/slot_entries.h"

namespace qf {
namespace {

using Lines = std::vector<std::string>;
using test::kDisc;
using test::kFeatureTitle;
using test::kOdd;

int64_t fileSize(const std::string& path) {
    return FileStream(path, FileStream::Mode::Read).size();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The log of a reading of `path` that ends normally, around the lines between.
std::string readingLog(const std::string& path, const Lines& between) {
    std::string s =
        "Open " + namePart(path) + "\nFilesize: " + std::to_string(fileSize(path)) + " bytes\n";
    for (const auto& l : between) s += l + "\n";
    return s + "Done.\n\n";
}

struct Reader {
    test::RecordingEvents host;
    JobRunner ctx{host};

    // A reading as a front end runs it: a job that reads, then hands the result on.
    Playlist read(const std::string& path, const std::string& source = "") {
        Playlist p;
        const PlaylistRequest request{path, namePart(path), namePart(source), source};
        try {
            runJob(ctx, {}, [&] {
                readPlaylist(ctx, request, p);
                takePlaylist(ctx, p, source);
            });
        } catch (...) {
            takePlaylist(ctx, p, source);
            throw;
        }
        return p;
    }

    // Slots a playlist marks are listed, the others empty.
    void expectSlots(const std::array<std::vector<size_t>, 3>& marked) {
        for (Family f : kFamilies) {
            const auto slots = ctx.cat.slotTable(f);
            const auto& m = marked[familyIndex(f)];
            for (size_t i = 0; i < static_cast<size_t>(kFamilySlots[familyIndex(f)]); ++i)
                EXPECT_EQ(slots[i], std::find(m.begin(), m.end(), i) != m.end()
                                        ? SlotEntry::listedByPlaylist()
                                        : SlotEntry())
                    << "family " << familyIndex(f) << " slot " << i;
        }
    }
};

class PlaylistReader : public ::testing::Test, protected Reader {};

using Marks = std::array<std::vector<size_t>, 3>; // video, audio, subpicture slots
const Marks kFeatureMarks = {{{0}, {0, 1, 2}, {0, 16, 19}}};

// One reading (after another, when `before` is given): its plain log, its listing and the
// catalogue slots it leaves marked; `also` checks what else the row is about.
struct Reading {
    const char* what;
    std::string path, source;
    std::optional<std::pair<std::string, std::string>> before; // playlist and source
    std::optional<Lines> log;                                  // between "Filesize" and "Done."
    std::optional<Lines> listing;
    std::optional<Marks> marks;
    std::function<void(const Reader&, const Playlist&)> also = {};
};

TEST_F(PlaylistReader, ReadingsLogListAndMark) {
    test::TempDir dir;
    writeText(dir / "t.XPL", "<?xml version=\"1.0\"?>\n<a  x=\"1\" \r\n\t y=\"2\">text > more"
                             "<b\r\n\r\nz=\"3\"/><!--c--><c><?pi?></c>\t<d/></a><e>");
    std::string big = "<Playlist displayName=\"Big\">";
    big += "<!--" + std::string(kBlockSize - big.size() - 4 - 10, 'x') + "-->";
    big += "<Title displayName=\"Long\" titleDuration=\"00:00:01:00\">"; // crosses the block
    big += "<PrimaryAudioVideoClip src=\"LONG.MAP\"><Video track=\"1\" mediaAttr=\"1\"/>"
           "</PrimaryAudioVideoClip></Title></Playlist>";
    big += std::string(20000, ' ');
    writeText(dir / "big.XPL", big);
    writeText(dir / "c.XPL", "<Playlist><!-- AudioAttributeItem without an index -->"
                             "<AudioAttributeItem index=\"5\" codec=\"DD\"></AudioAttributeItem>"
                             "</Playlist>");
    writeText(dir / "p.XPL", "<Playlist displayName=\"First\"><PlaylistApplication displayName="
                             "\"Second\"/><Title displayName=\"T\"><PrimaryAudioVideoClip "
                             "src=\"X.MAP\"/><Video track=\"1\" mediaAttr=\"1\"/></Title>"
                             "</Playlist>");
    const Lines featureFound = {"VC-1.stream.0 found!",
                                "DD+.6ch.stream.00.English found!",
                                "MLP.8ch.stream.01.English [Lossless] found!",
                                "DTS-HD.stream.02.Director/Commentary found!",
                                "2bitRLE.stream.00.English found!",
                                "8bitRLE.stream.16.Deutsch found!",
                                "2bitRLE.stream.19.Japanese found!"};
    const Lines oddSkipped = {"VideoAttributeItem skipped: index 9 is out of range (1 to 8)",
                              "Video skipped: track 17 is out of range (1 to 16)",
                              "Audio skipped: streamNumber 0 is out of range (1 to 16)",
                              "Audio skipped: mediaAttr 9 is out of range (1 to 8)",
                              "Subtitle skipped: streamNumber 33 is out of range (1 to 32)"};
    auto oddLog = [&](const std::string& video, const std::string& sub) {
        return Lines{oddSkipped[0],
                     video + ".stream.1 found!",
                     oddSkipped[1],
                     oddSkipped[2],
                     "LPCM.stream.15.Last found!",
                     oddSkipped[3],
                     sub + ".stream.31.Top found!",
                     oddSkipped[4]};
    };
    const std::vector<Reading> readings = {
        {"the feature title is listed and marked",
         kDisc,
         "/disc/HVDVD_TS/FEATURE_1.EVO",
         {},
         featureFound,
         kFeatureTitle,
         kFeatureMarks,
         [](const Reader& b, const Playlist&) {
             // Brackets from the playlist are carried literally, never taken as markup.
             EXPECT_EQ(b.host.lines[4], "MLP.8ch.stream.01.English \x01Lossless\x02 found!");
             const std::string size = std::to_string(fileSize(kDisc));
             EXPECT_EQ(b.host.status1, Lines({size + "/" + size + " bytes", ""}));
             EXPECT_EQ(b.ctx.AudioAttrs[2], "MLP.8ch");
             EXPECT_EQ(b.ctx.AudioAttrs[3], "DTS-HD"); // no channels attribute
         }},
        {"the title is chosen by the source name",
         kDisc,
         "/disc/HVDVD_TS/TRAILER.EVO",
         {},
         Lines{"VC-1.stream.0 found!", "DD+.6ch.stream.00.English found!"},
         test::kTrailerTitle,
         Marks{{{0}, {0}, {}}}},
        {"a second reading replaces the marks",
         kDisc,
         "/disc/BONUS.VOB",
         std::pair{kDisc, "/disc/HVDVD_TS/TRAILER.EVO"},
         Lines{"MPEG-2.stream.0 found!", "DD+.6ch.stream.00.English found!"},
         {},
         Marks{{{0}, {0}, {}}}},
        {"a source no title plays keeps the marks and lists everything", kDisc,
         "/disc/HVDVD_TS/UNLISTED.EVO", std::pair{kDisc, "/disc/HVDVD_TS/FEATURE_1.EVO"},
         Lines{"No title in the playlist plays UNLISTED"}, test::wholeDisc(), kFeatureMarks},
        {"no source lists everything and still collects the attributes",
         kDisc,
         "",
         {},
         {},
         test::wholeDisc(),
         {},
         [](const Reader& b, const Playlist&) {
             EXPECT_EQ(b.ctx.VideoAttrs[1], "VC-1");
             EXPECT_EQ(b.ctx.VideoAttrs[2], "MPEG-2");
             EXPECT_EQ(b.ctx.AudioAttrs[1], "DD+.6ch");
             EXPECT_EQ(b.ctx.SubAttrs[2], "8bitRLE");
         }},
        // VC-1 and 8bitRLE come from the earlier playlist; LPCM is this one's index 4.
        {"out-of-range numbers are skipped and attributes outlive readings",
         kOdd,
         "/disc/HVDVD_TS/ODD.EVO",
         std::pair{kDisc, std::string()},
         oddLog("VC-1", "8bitRLE"),
         {},
         Marks{{{1}, {15}, {31}}},
         [](const Reader& b, const Playlist&) { EXPECT_EQ(b.ctx.AudioAttrs[1], "DD+.6ch"); }},
        {"fresh attribute tables give bare names",
         kOdd,
         "/disc/HVDVD_TS/ODD.EVO",
         {},
         oddLog("", ""),
         {},
         Marks{{{1}, {15}, {31}}}},
        {"the scanner indents by nesting and folds line breaks",
         dir / "t.XPL",
         "",
         {},
         {},
         Lines{"<?xml version=\"1.0\"?>",
               "<a  x=\"1\"  y=\"2\">", // the blank after the tab stays
               "  ",                    // a ">" between tags ends an empty tag line
               "  <b z=\"3\"/>", "  <!--c-->", "  <c>", "    <?pi?>", "  </c>", "  <d/>", "</a>",
               "<e>"},
         {}},
        {"a tag across a block boundary; progress per block", dir / "big.XPL", "LONG.EVO",
         std::nullopt, Lines{"H.264.stream.0 found!"},
         Lines{"  <Title displayName=\"Long\" titleDuration=\"00:00:01:00\">",
               "    <PrimaryAudioVideoClip src=\"LONG.MAP\">",
               "      <Video track=\"1\" mediaAttr=\"1\"/>", "    </PrimaryAudioVideoClip>",
               "  </Title>"},
         Marks{{{0}, {}, {}}},
         [&](const Reader& b, const Playlist&) {
             const std::string size = std::to_string(big.size());
             EXPECT_EQ(b.host.status1, Lines({std::to_string(kBlockSize) + "/" + size + " bytes",
                                              size + "/" + size + " bytes", ""}));
         }},
        {"comments and closing tags are no attribute items",
         dir / "c.XPL",
         "",
         {},
         Lines{},
         {},
         {},
         [](const Reader& b, const Playlist&) { EXPECT_EQ(b.ctx.AudioAttrs[5], "DD"); }},
        {"the playlist's title is its last display name",
         dir / "p.XPL",
         "X.EVO",
         {},
         {},
         {},
         {},
         [](const Reader&, const Playlist& p) { EXPECT_EQ(p.title, "Second"); }},
    };
    for (const Reading& r : readings) {
        SCOPED_TRACE(r.what);
        Reader b;
        if (r.path == dir / "big.XPL") b.ctx.VideoAttrs[1] = "H.264";
        if (r.before) b.read(r.before->first, r.before->second);
        b.host.lines.clear();
        b.host.status1.clear();
        const Playlist p = b.read(r.path, r.source);
        if (r.log) {
            EXPECT_EQ(b.host.plainLog(), readingLog(r.path, *r.log));
        }
        if (r.listing) {
            EXPECT_EQ(p.listing, *r.listing);
        }
        if (r.marks) b.expectSlots(*r.marks);
        EXPECT_EQ(b.host.status0.back(), "Ready");
        EXPECT_EQ(b.host.status1.back(), "");
        EXPECT_EQ(b.ctx.io.SourceStream, nullptr);
        if (r.also) r.also(b, p);
    }
}

// The model of the title each source plays, as VPLST000.XPL writes it: one text per
// stream "kind track language description codec", per chapter "start name seconds".
TEST_F(PlaylistReader, ModelHoldsTheTitleOfTheSource) {
    const struct {
        const char* source;
        const char* id;
        const char* name;
        const char* duration;
        Lines clips, streams, chapters;
    } cases[] = {
        {"/disc/HVDVD_TS/FEATURE_1.EVO",
         "Feature",
         "Harbour Lights [Feature]",
         "01:42:10:00",
         {"FEATURE_1.EVO"},
         {"V 1 - - VC-1", "A 1 en English DD+.6ch", "A 2 en English [Lossless] MLP.8ch",
          "A 3 fr Director/Commentary DTS-HD", "S 1 en English 2bitRLE", "S 17 de Deutsch 8bitRLE",
          "S 20 ja Japanese 2bitRLE"},
         // Frames at 24000/1001 per second: no title time base, no video read.
         {"00:00:00:00 Opening 0.00", "00:12:30:00 - 750.00", "00:47:05:12 The Storm 2825.50"}},
        {"/disc/BONUS.VOB",
         "Bonus",
         "Making Of",
         "00:20:00:00",
         {"BONUS.EVO"},
         {"V 1 - - MPEG-2", "A 1 en English DD+.6ch"},
         {"00:00:00:00 Making Of 0.00"}},
        {"TRAILER.EVO",
         "Trailer",
         "Trailer",
         "00:02:10:00",
         {"TRAILER.EVO"},
         {"V 1 - - VC-1", "A 1 en English DD+.6ch"},
         {}},
    };
    const char kinds[] = {'V', 'A', 'S'};
    auto orDash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Playlist playlist = read(kDisc, c.source);
        EXPECT_EQ(playlist.title, "Harbour Lights");
        EXPECT_TRUE(playlist.listed);
        EXPECT_EQ(playlist.audioAttrs[2], "MLP.8ch");
        ASSERT_EQ(playlist.titles.size(), 1u);
        const PlaylistTitle& t = playlist.titles[0];
        EXPECT_EQ(t.id, c.id);
        EXPECT_EQ(t.name, c.name);
        EXPECT_EQ(t.duration, c.duration);
        EXPECT_EQ(t.clips, c.clips);
        Lines streams, chapters;
        for (const PlaylistStream& s : t.streams)
            streams.push_back(std::string(1, kinds[static_cast<int>(s.kind)]) + " " +
                              std::to_string(s.track) + " " + orDash(s.language) + " " +
                              orDash(s.description) + " " + s.codec);
        for (const PlaylistChapter& ch : t.chapters) {
            char seconds[32] = "-";
            if (ch.seconds) std::snprintf(seconds, sizeof seconds, "%.2f", *ch.seconds);
            chapters.push_back(ch.start + " " + orDash(ch.name) + " " + seconds);
        }
        EXPECT_EQ(streams, c.streams);
        EXPECT_EQ(chapters, c.chapters);
    }
}

// Files that cannot be read end the reading with their message, the source closed.
TEST_F(PlaylistReader, RefusedReadingsSayWhy) {
    test::TempDir dir;
    const struct {
        std::optional<std::string> text; // none: no such file
        std::string error;
    } cases[] = {
        {"<Playlist><VideoAttributeItem index=\"one\" codec=\"VC-1\"/></Playlist>",
         "'one' is not a valid integer value"},
        // An earlier item's index is not reused for one that has none.
        {"<Playlist><AudioAttributeItem index=\"1\" codec=\"DD\"/>"
         "<AudioAttributeItem codec=\"DTS\"/></Playlist>",
         "'' is not a valid integer value"},
        {"<SubpictureAttributeItem index=\"99999999999\"/>",
         "'99999999999' is not a valid integer value"},
        {std::nullopt,
         "Cannot open file \"" + dir / "VPLST000.XPL" + "\". No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const std::string path = dir / (c.text ? "bad.XPL" : "VPLST000.XPL");
        if (c.text) writeText(path, *c.text);
        try {
            read(path);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        EXPECT_EQ(ctx.io.SourceStream, nullptr);
    }
}

TEST_F(PlaylistReader, NoReadingWhileAJobRuns) {
    ctx.busy = true;
    EXPECT_TRUE(read(kDisc).listing.empty());
    EXPECT_TRUE(host.lines.empty());
}

// A source that claims more bytes than it delivers.
class ShortStream : public Stream {
public:
    size_t read(void* buf, size_t n) override {
        if (given_) return 0;
        given_ = true;
        const size_t k = std::min<size_t>(n, 4);
        std::memcpy(buf, "<a/>", k);
        pos_ += static_cast<int64_t>(k);
        return k;
    }
    void write(const void*, size_t) override {}
    int64_t size() const override { return 100; }
    int64_t position() const override { return pos_; }
    void seek(int64_t p) override { pos_ = p; }

private:
    bool given_ = false;
    int64_t pos_ = 0;
};

TEST_F(PlaylistReader, StreamThatStopsEarlyIsAReadError) {
    ShortStream in;
    Lines listing;
    EXPECT_THROW(
        {
            try {
                ScanXPL(ctx, in, "short.XPL", listing);
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Stream read error");
                throw;
            }
        },
        Error);
    EXPECT_EQ(listing, Lines{"<a/>"});
}

// Inputs that are no playlist end the reading with one message; the rest produce at
// most about four times their size, however deep their tags nest.
TEST_F(PlaylistReader, HostileInputIsRefusedOrBounded) {
    test::TempDir dir;
    std::string deep = "<Playlist>", binary, binaryWithNul;
    for (int d = 0; d < 100; ++d) deep += "<Element" + std::to_string(d) + " about=\"nesting\">";
    for (int d = 100; d-- > 0;) deep += "</Element" + std::to_string(d) + ">";
    deep += "</Playlist>";
    uint32_t x = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
        x = x * 1103515245 + 12345;
        binaryWithNul += static_cast<char>(x >> 24);
        binary += static_cast<char>((x >> 24) % 255 + 1);
    }
    std::string nested;
    for (int i = 0; i < 40000; ++i) nested += "<a>";
    struct Case {
        const char* name;
        std::string text;
        bool refused;
    };
    const Case cases[] = {
        {"deep", deep, false},
        {"binary", binary, false},
        {"binary with NUL", binaryWithNul, true},
        {"NUL byte", std::string("<Playlist>\0</Playlist>", 22), true},
        {"nested", nested, true},
        {"endless tag", "<" + std::string(2 << 20, 'x'), true},
        {"over 16 MiB", std::string((16 << 20) + 1, ' '), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "hostile.XPL";
        writeText(path, c.text);
        std::string error;
        Playlist playlist;
        try {
            playlist = read(path, "FEATURE_1.EVO");
        } catch (const Error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.refused ? "File \"" + path + "\" is not a playlist" : "");
        EXPECT_FALSE(ctx.io.SourceStream);
        if (c.refused) continue;
        size_t out = 0, indent = 0;
        for (const std::string& line : playlist.listing) {
            out += line.size() + 1;
            indent = std::max(indent, std::min(line.find_first_not_of(' '), line.size()));
        }
        EXPECT_LE(out, 4 * c.text.size() + (64 << 10));
        EXPECT_LE(indent, 128u); // depth 64
    }
}

} // namespace
} // namespace qf
