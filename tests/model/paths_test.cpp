// Taking paths apart, and finding the second part of a title.
#include "model/paths.h"

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

TEST(PathHelpers, GetSecond) {
    TempDir dir;
    for (const char* name : {"FEATURE_1.EVO", "FEATURE_2.EVO", "2_MAIN.EVO", "TITLE_9.EVO",
                             "TITLE_20.EVO", "A_X.EVO", "_2.EVO", "9_.EVO"})
        writeFile(dir / name, {0});
    EXPECT_EQ(getsecond(dir / "FEATURE_1.EVO"), dir / "FEATURE_2.EVO");
    EXPECT_EQ(getsecond(dir / "FEATURE_2.EVO"), "") << "no FEATURE_3.EVO";
    EXPECT_EQ(getsecond(dir / "1_MAIN.EVO"), dir / "2_MAIN.EVO") << "digit before the _";
    EXPECT_EQ(getsecond(dir / "TITLE_9.EVO"), "") << "9 has no successor";
    EXPECT_EQ(getsecond(dir / "TITLE_10.EVO"), dir / "TITLE_20.EVO") << "one digit only";
    EXPECT_EQ(getsecond(dir / "A_X.EVO"), "");
    EXPECT_EQ(getsecond(dir / "FEATURE.EVO"), "");
    EXPECT_EQ(getsecond(dir / "_1.EVO"), dir / "_2.EVO");
    EXPECT_EQ(getsecond(dir / "8_.EVO"), dir / "9_.EVO");
    // Only the first "_" counts, and only in the file name.
    EXPECT_EQ(getsecond(dir / "B_X_1.EVO"), "");
    TempDir other;
    const std::string sub = other / "disc_1";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    writeFile(sub + "/F.EVO", {0});
    ASSERT_EQ(::mkdir((other / "disc_2").c_str(), 0755), 0);
    writeFile(other / "disc_2/F.EVO", {0});
    EXPECT_EQ(getsecond(sub + "/F.EVO"), "");
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
