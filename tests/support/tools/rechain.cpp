// Makes program chains of title set 1 play cells of another chain, in any order: the decoy
// titles of a disc, made from chains dvdauthor authored with as many stand-in cells.
//
//   rechain DISC FROM_CHAIN TO_CHAIN CELL...
#include <cstdio>
#include <string>
#include <vector>

#include "ifo_edit.h"

int main(int argc, char** argv) try {
    using namespace qf::tools;
    if (argc < 5) throw std::runtime_error("usage: rechain DISC FROM_CHAIN TO_CHAIN CELL...");
    const std::string ifoPath = std::string(argv[1]) + "/VIDEO_TS/VTS_01_0.IFO";
    Bytes ifo = load(ifoPath);
    const Bytes original = ifo;
    std::vector<size_t> cells;
    for (int i = 4; i < argc; ++i) cells.push_back(std::stoul(argv[i]));
    playCells(ifo, original, std::stoul(argv[2]), std::stoul(argv[3]), cells);
    save(ifoPath, ifo);
    save(std::string(argv[1]) + "/VIDEO_TS/VTS_01_0.BUP", ifo);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "rechain: %s\n", e.what());
    return 1;
}
