// A disc whose name mkvmerge would read as an operator ("+" appends a file to the one
// before, "=" keeps it from looking for further parts): the options file of its title
// still muxes into one MKV with every stream and the chapters.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_process.h"
#include "support/ffmpeg.h"

namespace qf::test {
namespace {

TEST(DiscNames, MkvmergeTakesTheOptionsFileOfADiscNamedLikeAnOperator) {
    if (commandOutput("command -v mkvmerge").empty()) GTEST_SKIP() << "mkvmerge is not installed";
    for (const std::string name : {"+disc", "=disc"}) {
        SCOPED_TRACE(name);
        TempDir tmp;
        std::filesystem::copy(std::string(QUILLFEN_DVD_DIR) + "/pal", tmp / name,
                              std::filesystem::copy_options::recursive);
        const std::string out = tmp / "out";
        std::filesystem::create_directory(out);
        const CliResult r = runCli({"demux", tmp / name, "--title", "1", "-o", out});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string base = name + "_title01";
        ASSERT_EQ(std::system(("cd '" + out + "' && mkvmerge -q '@" + base +
                               ".mkvmerge.json' >/dev/null 2>&1")
                                  .c_str()),
                  0);
        const auto mkv =
            nlohmann::json::parse(commandOutput("mkvmerge -J '" + out + "/" + base + ".mkv'"));
        EXPECT_EQ(mkv["tracks"].size(), 4u); // video, two audio, subpictures
        ASSERT_EQ(mkv["chapters"].size(), 1u);
        EXPECT_EQ(mkv["chapters"][0]["num_entries"], 3);
    }
}

} // namespace
} // namespace qf::test
