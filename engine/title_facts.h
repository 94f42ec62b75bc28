#pragma once
// What a disc says of a title beyond its streams' own headers: chapters, the subpicture
// palette and the streams' languages. A DVD title read through its IFO files fills it; an
// HD DVD playlist gives the chapters; a plain file leaves it empty.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qf {

struct ChapterMark {
    double start = 0; // seconds from the title's start
    std::string name; // empty: the files call it "Chapter NN"
};

struct StreamLanguage {
    std::string code; // ISO 639-1, e.g. "es"
    std::string name; // its English name, e.g. "Spanish"; the code when unknown
};

// Where a cell of a disc's title begins in the title's bytes, its number in the title's
// program chain, and how long its last picture is held (90 kHz ticks).
struct CellMark {
    int64_t start = 0;
    int number = 0;
    int64_t still = 0;
    bool beginsChapter = false;
};

struct TitleFacts {
    std::string source;    // the source they were read for; another source's are dropped
    bool dvdVideo = false; // a DVD-Video source (.VOB or a title of a disc)
    std::vector<ChapterMark> chapters;
    std::optional<std::array<uint32_t, 16>> palette; // 0xRRGGBB
    std::map<int32_t, StreamLanguage> languages;     // by catalogue entry
    bool line21Field1 = false, line21Field2 = false; // the IFO says the video carries captions
    // A title of a disc: its number and the angle read (0 for a file), and its length in
    // seconds; each chapter lasts until the next one starts, the last until the end.
    int title = 0, angle = 0;
    double length = 0;
    std::vector<CellMark> cells; // in the order the angle read plays them
    void clear() { *this = TitleFacts{}; }
};

} // namespace qf
