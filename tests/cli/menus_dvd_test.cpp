// The menus of the dvdauthor-made menu disc (tests/support/make_menu_discs.sh) as
// titles --menus lists them, against what its menus.xml authored (lsdvd lists no menus),
// and the same disc with its menu tables made hostile.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"
#include "support/ifo_builder.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const std::string kDisc = std::string(QUILLFEN_MENU_DIR) + "/menus";

struct Authored {
    const char* menu;
    const char* entry; // null: none
    Json still;
    const char* audio;
    Json language;
    double length;
};

// As menus.xml has them; dvdauthor adds an empty chapter menu to a title set's root one.
const Authored kAuthored[] = {
    {"vmg:1", "title", 5, "MPEG-1 audio", nullptr, 2.0},
    {"vts1:1", "root", 3, "AC-3", "en", 2.0},
    {"vts1:2", nullptr, "forever", "AC-3", "en", 2.0},
    {"vts1:3", "chapter", 0, "AC-3", "en", 0.0},
};

TEST(DiscMenus, ListedAsAuthored) {
    const CliResult r = runCli({"titles", kDisc, "--menus", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json doc = Json::parse(r.out);
    ASSERT_EQ(doc["menus"].size(), std::size(kAuthored)) << doc["menus"].dump(1);
    for (size_t k = 0; k < std::size(kAuthored); ++k) {
        const Authored& a = kAuthored[k];
        const Json& m = doc["menus"][k];
        SCOPED_TRACE(a.menu);
        EXPECT_EQ(m["menu"], a.menu);
        EXPECT_EQ(m["entry"], a.entry ? Json(a.entry) : Json(nullptr));
        EXPECT_EQ(m["still"], a.still);
        EXPECT_NEAR(m["length"].get<double>(), a.length, 0.001);
        EXPECT_EQ(m["video"]["standard"], "PAL");
        ASSERT_EQ(m["streams"].size(), 2u);
        EXPECT_EQ(m["streams"][0]["format"], "MPEG-2");
        EXPECT_EQ(m["streams"][1]["format"], a.audio);
        EXPECT_EQ(m["streams"][1]["language"], a.language);
    }
    // Without --menus the document is as it was.
    const CliResult plain = runCli({"titles", kDisc, "--json"});
    EXPECT_FALSE(Json::parse(plain.out).contains("menus"));

    const CliResult text = runCli({"titles", kDisc, "--menus"});
    EXPECT_NE(
        text.out.find("Menu vts1:1: title set 1, language unit 1 (en), root, 0:00:02.000, "
                      "1 cell, held 3 s\n  PAL 720x576, 4:3\n  v0   id E0  MPEG-2\n  a00  id 80  "
                      "AC-3, 2 channels, 48 kHz, English (en)\n"),
        std::string::npos)
        << text.out;
}

// A copy of the disc with its title set's menu table patched: the titles are still listed,
// and the video manager's menus, and none of the title set's.
TEST(DiscMenus, DamagedMenuTableGivesNoMenusOfItsTitleSet) {
    struct Case {
        const char* what;
        size_t offset; // in the menu table
        Bytes bytes;
    };
    const Case cases[] = {
        {"language units past the table", 0, {0xFF, 0xFF}},
        {"a unit starting past the table", 8 + 4, {0x7F, 0xFF, 0xFF, 0xFF}},
        {"more chains than the unit holds", 16, {0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        const std::string disc = tmp / "menus";
        fs::copy(kDisc, disc, fs::copy_options::recursive);
        for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
            const std::string path = disc + "/VIDEO_TS/" + name;
            Bytes b = readFile(path);
            patch(b, be32(b, 208) * 2048 + c.offset, c.bytes);
            writeFile(path, b);
        }
        const CliResult r = runCli({"titles", disc, "--menus", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const Json doc = Json::parse(r.out);
        EXPECT_EQ(doc["titles"].size(), 1u);
        ASSERT_EQ(doc["menus"].size(), 1u);
        EXPECT_EQ(doc["menus"][0]["menu"], "vmg:1");
    }
}

// A still menu read as a title: its picture and its sound, decoded by ffmpeg; the picture
// is one frame, held for the chain's still time by the player.
TEST(DiscMenus, DemuxOfAStillMenu) {
    TempDir out;
    const CliResult r = runCli({"demux", kDisc, "--menu", "vts1:1", "-o", out.path});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string base = out / "menus_menu_vts1_1";
    EXPECT_TRUE(decodesCleanly(base + ".DD.stream.00.English.ac3"));
    const std::string frames =
        ffprobe(out.path, "-count_frames -select_streams v -show_entries stream=nb_read_frames "
                          "-of csv=p=0 menus_menu_vts1_1.MPEG-2.stream.0.m2v");
    EXPECT_EQ(std::stoi(frames), 1) << frames;
    const CliResult vmg = runCli({"demux", kDisc, "--menu", "vmg:1", "-o", out.path});
    ASSERT_EQ(vmg.status, 0) << vmg.err;
    EXPECT_TRUE(fs::exists(out / "menus_menu_vmg_1.MPEG-2.stream.0.m2v"));

    struct Refused {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Refused refused[] = {
        {{"--menu", "vts1:9"}, 1, "Menu vts1:9 does not exist on menus"},
        {{"--menu", "vts1:3"}, 1, "Menu vts1:3 does not exist on menus"}, // no cells
        {{"--menu", "vts:1"}, 2, "the value of --menu must be vmg:N or vtsT:N: 'vts:1'"},
        {{"--menu", "vmg:0"}, 2, "the value of --menu must be vmg:N or vtsT:N: 'vmg:0'"},
        {{"--menu", "vmg:1", "--title", "1"}, 2, "--menu goes without --title and --angle"},
    };
    for (const Refused& c : refused) {
        std::vector<std::string> args = {"read", kDisc};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult e = runCli(args);
        EXPECT_EQ(e.status, c.status) << c.message;
        EXPECT_NE(e.err.find(c.message), std::string::npos) << e.err;
    }
}

} // namespace
} // namespace qf::test
