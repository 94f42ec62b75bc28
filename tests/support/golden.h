#pragma once
// Comparison with an expected output kept in tests/data. With QUILLFEN_REGENERATE=1 in
// the environment the actual output is written over the expected file instead, for a
// change that alters the output on purpose (review the diff before committing it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace qf::test {

inline void expectGolden(const std::string& actual, const std::string& name) {
    const std::string path = std::string(QUILLFEN_TEST_DATA) + "/" + name;
    const char* regenerate = std::getenv("QUILLFEN_REGENERATE");
    if (regenerate && std::string(regenerate) == "1") {
        std::ofstream(path, std::ios::binary) << actual;
        std::cout << "[ note     ] " << path << " regenerated\n";
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path << " is missing; QUILLFEN_REGENERATE=1 writes it";
    const std::string expected((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(actual, expected) << "QUILLFEN_REGENERATE=1 rewrites " << path;
}

} // namespace qf::test
