#pragma once
// Paths as the window and the jobs take them apart: folder, name, extension, and the
// parts of a title split over numbered files.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// The name without its extension (the part from the last "." after the last separator).
std::string CutExt(const std::string& name);
// The path of the next numbered part of a title when that file exists, else empty.
// A name ending in "_" and a number before its extension counts on in that number
// (FEATURE_1 -> FEATURE_2, VTS_01_9 -> VTS_01_10); other names bump the digit after their
// first "_", or else the one before it (1_MAIN -> 2_MAIN). A DVD menu object (VTS_01_0.VOB)
// is never followed: the title's parts are no continuation of its menus.
std::string nextPart(const std::string& path);

// The most parts a title is joined from.
inline constexpr size_t kMaxTitleParts = 99;

// A title: its parts in reading order, and the name its outputs start with (the first
// part's name without extension, plus "_" and the last part's when there are more).
struct Title {
    std::vector<std::string> parts;
    std::string baseName;
};
// The title that starts at `source`: with `allParts`, the source and every part after it
// that exists; otherwise the source alone.
Title titleOf(const std::string& source, bool allParts);

// A source as the jobs take it: without trailing separators, and a folder holding HVDVD_TS
// and ADV_OBJ (an HD DVD disc) as its HVDVD_TS/FEATURE_1.EVO.
std::string sourcePath(std::string path);

// Folder part (with trailing separator) and name part of a path.
std::string folderPart(const std::string& path);
std::string namePart(const std::string& path);
// Upper-cased extension of a path (".EVO"), empty when there is none.
std::string upperExt(const std::string& path);
// Does a file (not a folder) exist at path?
bool fileExists(const std::string& path);
// A folder outputs can be written to ("" is the current one); throws Error("Cannot write
// to folder "P". reason") otherwise, so that no long Read pass runs for nothing. It is
// taken as a job takes it: a folder the user named (`named`) is never a link to one.
void checkOutputFolder(std::string path, bool named = false);
// The size in bytes of the file at path; -1 when there is none.
int64_t fileSize(const std::string& path);

// Letter case folded for names, extensions and captions: ASCII letters only, whatever
// the locale, so that a name compares the same everywhere.
char asciiUpper(char c);
char asciiLower(char c);
std::string asciiUpper(std::string_view text);
bool sameIgnoringCase(std::string_view a, std::string_view b);

} // namespace qf
