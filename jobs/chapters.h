#pragma once
// A title's chapters in the two files muxers read: Matroska chapter XML and the OGM text.
#include <string>
#include <vector>

#include "engine/title_facts.h"

namespace qf {

// "Chapter 01" ... for a chapter without a name of its own.
std::string chapterName(const std::vector<ChapterMark>& chapters, size_t k);
// One EditionEntry with a ChapterAtom per chapter, times as HH:MM:SS.nnnnnnnnn.
std::string matroskaChapters(const std::vector<ChapterMark>& chapters);
// CHAPTER01=00:00:00.000 and CHAPTER01NAME=... lines.
std::string ogmChapters(const std::vector<ChapterMark>& chapters);

} // namespace qf
