// Output names taken from playlist texts: safe on every file system a title is copied to.
#include "jobs/outputs.h"

#include <gtest/gtest.h>

#include "jobs/runner.h"

namespace qf {
namespace {

TEST(FileNamePart, KeepsCharactersAndReplacesWhatAFileSystemRefuses) {
    const std::pair<std::string, std::string> cases[] = {
        {"DD.stream.00.English", "DD.stream.00.English"},
        {"DTS-HD.stream.02.Director/Commentary", "DTS-HD.stream.02.Director_Commentary"},
        {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {"../../x", ".._.._x"},
        {"tab\there\x7f", "tab_here_"},
        {"Fran\xC3\xA7"
         "ais \xE2\x98\xBA",
         "Fran\xC3\xA7"
         "ais \xE2\x98\xBA"},
        {"bad\xFF\xC3(", "bad__("},                                  // no UTF-8
        {"\xC0\xAF\xED\xA0\x80", "_____"},                           // overlong, surrogate
        {std::string(199, 'a') + "\xC3\xA9", std::string(199, 'a')}, // cut between characters
        {std::string(250, 'b'), std::string(200, 'b')},
    };
    for (const auto& [text, name] : cases) EXPECT_EQ(fileNamePart(text), name) << text;
}

// The plan of a request names its files as the job will, from the request alone (the
// folder it names, else the source's).
TEST(OutputPlan, NamesTheRequestsFiles) {
    const Catalogue cat;
    JobRequest asked;
    asked.source = "/asked/FEATURE_1.EVO";
    asked.workdir = "/out";
    asked.output.mkvmergeOptions = false;
    asked.selection.at(Family::Audio, 0) = {true, "AC-3.stream.00"};
    asked.selection.at(Family::Subpicture, 3) = {true, "Subpicture.stream.03"};
    EXPECT_EQ(plan(cat, asked, false).files(),
              (std::vector<std::string>{"/out/FEATURE_1.AC-3.stream.00.mpa",
                                        "/out/FEATURE_1.Subpicture.stream.03.sup"}));
    asked.workdir.clear();
    EXPECT_EQ(plan(cat, asked, true).files(),
              std::vector<std::string>{"/asked/FEATURE_1.rebuilt.EVO"});
}

} // namespace
} // namespace qf
