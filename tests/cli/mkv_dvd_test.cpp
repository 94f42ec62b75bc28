// demux --mkv on a title of a disc dvdauthor made (two AC-3 streams, subpictures,
// chapters): one MKV with every stream and the chapters, which ffmpeg decodes without an
// error line, and nothing else left; with --keep-streams the options file by itself muxes
// without a warning.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;

TEST(MkvDvd, ATitleBecomesOneMkvWithEveryStreamAndTheChapters) {
    if (commandOutput("command -v mkvmerge").empty()) GTEST_SKIP() << "mkvmerge is not installed";
    TempDir tmp;
    const std::string disc = std::string(QUILLFEN_DVD_DIR) + "/pal";
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "--keep-streams" : "without --keep-streams");
        const std::string out = tmp / (keep ? "kept" : "out");
        ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
        Strings args = {"demux", disc, "--title", "1", "--mkv", "-o", out};
        if (keep) args.push_back("--keep-streams");
        const CliResult r = runCli(args);
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        EXPECT_EQ(r.out.find("mkvmerge warns"), std::string::npos) << r.out;
        const std::string mkv = out + "/pal_title01.mkv";
        const Json j = Json::parse(commandOutput("mkvmerge -J '" + mkv + "'"));
        Strings tracks;
        for (const Json& t : j["tracks"])
            tracks.push_back(t["type"].get<std::string>() + " " + t["codec"].get<std::string>() +
                             " " + t["properties"].value("language", ""));
        EXPECT_EQ(tracks, (Strings{"video MPEG-1/2 und", "audio AC-3 eng", "audio AC-3 spa",
                                   "subtitles VobSub fre"}));
        ASSERT_EQ(j["chapters"].size(), 1u);
        EXPECT_EQ(j["chapters"][0]["num_entries"], 3);
        EXPECT_TRUE(decodesCleanly(mkv));
        if (!keep) {
            EXPECT_EQ(folderNames(out), Strings{"pal_title01.mkv"});
            continue;
        }
        EXPECT_EQ(folderNames(out).size(), 9u); // 4 streams (VobSub in two), 2 chapters, options
        int status = -1;
        const std::string log = commandOutput(
            "cd '" + out + "' && mkvmerge -q @pal_title01.mkvmerge.json 2>&1", &status);
        EXPECT_EQ(status, 0) << log;
    }
}

} // namespace
} // namespace qf::test
