#pragma once
// The reading of a disc's IFO files, done apart from the program: libdvdread parses them in
// a child process that holds no output file and hands the titles back through a pipe in a
// small serialised form, which is checked again here as untrusted. A fault in libdvdread
// that no check of the IFO bytes foresaw ends the child, not the program.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/disc_files.h"
#include "engine/dvd_disc.h"
#include "engine/dvd_menus.h"

namespace qf {

// What reading a disc's IFO files gave.
struct DiscReading {
    enum class Outcome : uint8_t { Titles, Failed, OutOfMemory };
    Outcome outcome = Outcome::Titles;
    // Failed: why, the sentence that follows "Cannot open disc "P". ".
    std::string failure;
    // The titles that can be read (languages by code only: the names are looked up by the
    // program), and those left out with the reason.
    std::vector<DiscTitle> titles;
    std::vector<RefusedTitle> refused;
    std::vector<DiscMenu> menus; // when the source asks for them
};

// The most a disc gives: titles as the format numbers them, chapters of a title, and the
// cells of all its titles together (one title of 999 chapters each playing a chain of 255
// cells fits).
inline constexpr int kMaxTitles = 99;
inline constexpr int kMaxChapters = 999;
inline constexpr size_t kMaxDiscCells = 262144;
// Menus: language units of a domain (as libdvdread allows), menu chains and their cells
// of the whole disc.
inline constexpr int kMaxLanguageUnits = 99;
inline constexpr size_t kMaxMenus = 4096, kMaxMenuCells = 65536;

// Reads the titles through libdvdread, each IFO file's bytes checked first. What runs in
// the child; a fault in libdvdread takes down the process it runs in.
DiscReading parseDiscTitles(const DiscSource& source, const DiscFiles& files);

// Adds the menus of the disc's video manager and of its readable titles' title sets (of the
// one title set a source limits it to) to `reading`; a domain whose menu table is damaged
// or unreadable gives none.
void parseDiscMenus(const DiscSource& source, DiscReading& reading);

// parseDiscTitles in a child process. Failures of the child itself come back as Failed:
// "Reading its IFO files failed (the reader stopped on signal 11)" and the like.
DiscReading readInChild(const DiscSource& source, const DiscFiles& files);

// The serialised form, and its reading; nullopt for bytes that are not exactly one
// well-formed answer within the bounds above.
std::string encodeReading(const DiscReading& reading);
std::optional<DiscReading> decodeReading(std::string_view bytes);

// The longest answer encodeReading gives within those bounds.
size_t maxReadingBytes();

} // namespace qf
