// Taking paths apart, and finding the parts of a title.
#include "engine/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ps_builder.h"

namespace qf::test {
namespace {

TEST(PathHelpers, CutExtAndParts) {
    EXPECT_EQ(CutExt("VPLST000.XPL"), "VPLST000");
    EXPECT_EQ(CutExt("FEATURE"), "FEATURE");
    EXPECT_EQ(CutExt("a.b.EVO"), "a.b");
    EXPECT_EQ(CutExt("/disc.d/FEATURE"), "/disc.d/FEATURE"); // the dot is in a folder
    EXPECT_EQ(CutExt("/disc.d/F.EVO"), "/disc.d/F");
    EXPECT_EQ(CutExt("name."), "name");
    EXPECT_EQ(CutExt(""), "");

    EXPECT_EQ(folderPart("/d/HVDVD_TS/F.EVO"), "/d/HVDVD_TS/");
    EXPECT_EQ(namePart("/d/HVDVD_TS/F.EVO"), "F.EVO");
    EXPECT_EQ(folderPart("F.EVO"), "");
    EXPECT_EQ(namePart("F.EVO"), "F.EVO");
    EXPECT_EQ(upperExt("/d/x.evo"), ".EVO");
    EXPECT_EQ(upperExt("/d.vob/x"), "");
}

// Each name with the part the rule leads to ("" when none follows) among the files below.
TEST(PathHelpers, NextPart) {
    TempDir dir;
    for (const char* name : {"FEATURE_1.EVO", "FEATURE_2.EVO", "2_MAIN.EVO", "TITLE_10.EVO",
                             "TITLE_20.EVO", "TITLE_11.EVO", "A_X.EVO", "_2.EVO", "9_.EVO",
                             "VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_11_1.VOB", "VTS_01_10.VOB",
                             "ATS_02_4.AOB", "MOVIE_100.VOB", "B_X_2.EVO", "T_010.EVO"})
        writeFile(dir / name, {0});
    const struct {
        const char* name;
        const char* next;
    } cases[] = {
        {"FEATURE_1.EVO", "FEATURE_2.EVO"},
        {"FEATURE_2.EVO", ""},             // no FEATURE_3.EVO
        {"1_MAIN.EVO", "2_MAIN.EVO"},      // no "_" + number ending: the digit before the "_"
        {"TITLE_9.EVO", "TITLE_10.EVO"},   // wider
        {"TITLE_10.EVO", "TITLE_11.EVO"},  // the whole number
        {"VTS_01_1.VOB", "VTS_01_2.VOB"},  // never VTS_11_1, another title set
        {"VTS_01_9.VOB", "VTS_01_10.VOB"}, //
        {"VTS_01_0.VOB", ""},              // a title set's menus are not its first part
        {"VTS_11_0.VOB", ""},              // nor by the digit after the first "_"
        {"ATS_02_3.AOB", "ATS_02_4.AOB"},  //
        {"MOVIE_99.VOB", "MOVIE_100.VOB"}, //
        {"T_009.EVO", "T_010.EVO"},        // as wide as before
        {"A_X.EVO", ""},
        {"FEATURE.EVO", ""},
        {"_1.EVO", "_2.EVO"},
        {"8_.EVO", "9_.EVO"},
        {"B_X_1.EVO", "B_X_2.EVO"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nextPart(dir / c.name), *c.next ? dir / c.next : std::string()) << c.name;
    TempDir other;
    const std::string sub = other / "disc_1";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    writeFile(sub + "/F.EVO", {0});
    ASSERT_EQ(::mkdir((other / "disc_2").c_str(), 0755), 0);
    writeFile(other / "disc_2/F.EVO", {0});
    EXPECT_EQ(nextPart(sub + "/F.EVO"), "") << "only the file name counts";
}

TEST(PathHelpers, TitleParts) {
    TempDir dir;
    for (int k = 1; k <= 3; ++k) writeFile(dir / ("VTS_01_" + std::to_string(k) + ".VOB"), {0});
    writeFile(dir / "VTS_01_5.VOB", {0}); // after a gap: not part of the title
    writeFile(dir / "VTS_11_1.VOB", {0});
    const Title three = titleOf(dir / "VTS_01_1.VOB", true);
    EXPECT_EQ(three.parts, (std::vector<std::string>{dir / "VTS_01_1.VOB", dir / "VTS_01_2.VOB",
                                                     dir / "VTS_01_3.VOB"}));
    EXPECT_EQ(three.baseName, "VTS_01_1_VTS_01_3");
    EXPECT_EQ(titleOf(dir / "VTS_01_2.VOB", true).baseName, "VTS_01_2_VTS_01_3");
    const Title alone = titleOf(dir / "VTS_01_1.VOB", false);
    EXPECT_EQ(alone.parts, std::vector<std::string>{dir / "VTS_01_1.VOB"});
    EXPECT_EQ(alone.baseName, "VTS_01_1");
    EXPECT_EQ(titleOf(dir / "VTS_11_1.VOB", true).parts.size(), 1u);

    // At most 99 parts.
    TempDir many;
    for (int k = 1; k <= 101; ++k) writeFile(many / ("P_" + std::to_string(k) + ".EVO"), {0});
    const Title capped = titleOf(many / "P_1.EVO", true);
    EXPECT_EQ(capped.parts.size(), kMaxTitleParts);
    EXPECT_EQ(capped.baseName, "P_1_P_99");
}

TEST(PathHelpers, CaseFoldingIsAscii) {
    EXPECT_EQ(asciiUpper("x.evo\xe9"), "X.EVO\xe9");
    EXPECT_EQ(upperExt("/d/a.\xe9vo"), ".\xe9VO");
    EXPECT_TRUE(sameIgnoringCase("Dd+.Stream", "DD+.stream"));
    EXPECT_FALSE(sameIgnoringCase("\xe9", "\xc9")); // Latin-1 letters are no ASCII letters
    EXPECT_FALSE(sameIgnoringCase("ab", "abc"));
}

TEST(PathHelpers, FileExistsMeansAFile) {
    TempDir dir;
    writeFile(dir / "a.EVO", {1});
    EXPECT_TRUE(fileExists(dir / "a.EVO"));
    EXPECT_FALSE(fileExists(dir / "b.EVO"));
    EXPECT_FALSE(fileExists(dir.path));
}

} // namespace
} // namespace qf::test
