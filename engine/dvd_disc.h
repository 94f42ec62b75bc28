#pragma once
// DVD-Video discs read through libdvdread: which paths name a disc, its titles, and what
// the IFO files say of each title (cells, chapters, streams with their languages, the
// subpicture palette).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/slotmap.h"
#include "engine/title_facts.h"

namespace qf {

// A source that is a DVD-Video disc: what libdvdread opens (a folder holding VIDEO_TS, a
// VIDEO_TS folder or an image) and the one title set a VTS_nn_0.IFO source limits it to.
struct DiscSource {
    std::string disc;
    int titleSet = 0; // 0: every title set
    // A partial copy: title sets without the disc's VIDEO_TS.IFO (and .BUP). Its titles are
    // those of each title set's IFO, numbered in title set order.
    bool titleSetsOnly = false;
    bool menus = false; // the disc reader reads the menus too
};

// The disc a source path names, if it names one: a folder holding VIDEO_TS, a VIDEO_TS
// folder, an image ending in ".iso" (any case), or inside a VIDEO_TS folder VIDEO_TS.IFO
// (the whole disc) or VTS_nn_0.IFO (title set nn). A folder holding VTS_nn_0.IFO (or .BUP)
// files but no VIDEO_TS.IFO, and a VTS_nn_0.IFO in such a folder, name a partial copy.
std::optional<DiscSource> discSource(const std::string& path);

// The title set whose IFO (or BUP) lies beside a title set's VOB "VTS_nn_k.VOB" (k >= 1),
// as a source limited to that set; nullopt for any other file.
std::optional<DiscSource> titleSetOfVob(const std::string& path);

// Sectors of a title set's VOBs (2048 bytes each), first to last inclusive.
struct SectorRange {
    uint32_t first = 0, last = 0;
};

// A cell as a title reads it: its sectors, and whether they are the cell's alone or hold
// other cells' interleaved units too.
struct TitleCell {
    SectorRange sectors;
    bool interleaved = false;
};

struct DiscCell {
    SectorRange sectors;
    double seconds = 0;
    int angle = 0;   // 0: played in every angle; k: the cell of angle k in an angle block
    int chapter = 0; // the chapter this cell begins, 0 when it begins none
    // Its sectors hold other cells' interleaved units too (seamless angles or branching).
    bool interleaved = false;
    int still = 0; // seconds its last picture is held; kStillForever: until the user goes on
};

inline constexpr int kStillForever = 255;

// The title set's picture as its IFO describes it.
struct DiscVideo {
    bool pal = false; // 625 lines at 25 frames a second; else NTSC, 525 lines at 30000/1001
    int width = 720, height = 480;
    bool wide = false; // 16:9, else 4:3
    // How a 16:9 picture may be shown on a 4:3 display.
    bool panScan = false, letterbox = false;
    bool captionsField1 = false, captionsField2 = false; // line-21 closed captions

    const char* standard() const { return pal ? "PAL" : "NTSC"; }
    const char* aspect() const { return wide ? "16:9" : "4:3"; }
    double frameRate() const { return pal ? 25.0 : 30000.0 / 1001.0; }
    // "pan-scan and letterbox", "pan-scan", "letterbox"; empty when neither is allowed.
    std::string displayFormat() const;
};

struct DiscStream {
    Family family = Family::Video;
    int32_t entry = -1; // the catalogue entry it will have: stream or sub-stream id
    std::string format; // "MPEG-2", "AC-3", "LPCM", "DTS", "MPEG audio", "Subpicture" ...
    int channels = 0;   // audio: as the IFO says
    std::optional<StreamLanguage> language; // none when the IFO sets none
    int sampleRate = 0;                     // audio: as the IFO says
    // Audio: the application mode the IFO sets, if any.
    enum class Application : uint8_t { None, Karaoke, Surround } application = Application::None;
};

struct DiscChapter {
    int number = 0;
    double start = 0, duration = 0; // seconds
};

struct DiscTitle {
    int number = 0;   // on the disc, from 1
    int titleSet = 0; // VTS number
    int angles = 1;
    int programChain = 0; // of its first chapter, in its title set
    DiscVideo video;
    double length = 0;           // seconds, as the program chain says
    std::vector<DiscCell> cells; // in playback order, the cells of every angle
    std::vector<DiscStream> streams;
    std::array<uint32_t, 16> palette{}; // 0xRRGGBB
    // What tells a decoy from the feature (set by readDiscTitles): an earlier title that
    // plays the same cells (0: none), cells played out of sector order, and the titles
    // whose cells it plays one after the other (a "play all").
    int sameCellsAs = 0;
    bool outOfOrder = false;
    std::vector<int> playsTitles;

    // The cells one angle (1..angles) plays, in order.
    std::vector<SectorRange> sectors(int angle) const;
    // The same cells with what tells an interleaved one.
    std::vector<TitleCell> titleCells(int angle) const;
    // The chapters as one angle plays them.
    std::vector<DiscChapter> chapters(int angle) const;
    size_t chapterCount() const;
};

// A title the disc lists that cannot be read, and why ("it claims 422343 Mbytes, more than
// its title set's 3 Mbytes of VOB files allow").
struct RefusedTitle {
    int number = 0;
    std::string reason;
};

// The titles of a disc that can be read (those of one title set when the source limits it
// to one), read in a child process; the others go to `refused` when given. Throws
// Error("Cannot open disc "path". reason") when the disc cannot be read or has no title
// that can, Error("Out of memory while reading the titles of "path"") when memory ran out.
std::vector<DiscTitle> readDiscTitles(const DiscSource& source,
                                      std::vector<RefusedTitle>* refused = nullptr);

// The longest title (the first of equals); nullptr when there is none.
const DiscTitle* longestTitle(const std::vector<DiscTitle>& titles);
// The main feature: the longest title that neither repeats an earlier one's cells nor plays
// its cells out of order; the longest title when every one does.
const DiscTitle* mainTitle(const std::vector<DiscTitle>& titles);
// Sets the marks of each title against the others.
void markTitles(std::vector<DiscTitle>& titles);
const DiscTitle* findTitle(const std::vector<DiscTitle>& titles, int number);

// A DVD palette entry (0x00YYCrCb) as 0xRRGGBB: studio-range BT.601, rounded, clamped.
uint32_t ycrcbToRgb(uint32_t ycrcb);

// The English name of an ISO 639-1 code from Debian's iso-codes data, up to the first
// ";" ("es" -> "Spanish"); the code itself when the data does not know it.
std::string languageName(const std::string& code);

// "h:mm:ss.mmm", the length of a title or chapter.
std::string titleTime(double seconds);

} // namespace qf
