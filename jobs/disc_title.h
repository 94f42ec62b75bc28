#pragma once
// DVD-Video discs as sources of the jobs: the title chooser, the title a job reads and the
// facts the IFO files give of it.
#include <vector>

#include "engine/dvd_disc.h"

namespace qf {

class Context;

// After the source changed: when it is a DVD-Video disc, fills the title chooser and
// chooses the longest title (angle 1); otherwise empties the chooser. Throws Error when
// the disc cannot be read.
void TitlesAdj(Context& ctx);

// For a disc source: sets BaseName for the chosen title (the source name without extension
// + "_title" + two digits, + "_angle" + K for angle K > 1) and returns true; false for a
// file source.
bool discTitleName(Context& ctx);

// Opens the job's source as SourceStream and logs the opening line: for a disc, the chosen
// title's cells ("Opening title N of NAME (C chapters, h:mm:ss)"), with its chapters,
// palette and languages in titleFacts; for a file, "Opening file NAME" (the name in bold
// when `boldName`). Throws Error for a title or angle the disc does not have.
void openJobSource(Context& ctx, bool boldName);

// Appends the language name the disc gives a stream to the caption of its box
// ("DD.stream.00" becomes "DD.stream.00.English").
void captionLanguages(Context& ctx);

// The chosen title of a disc source: ui.title, or the longest when none is chosen.
// Throws Error when the disc has no such title.
const DiscTitle& chosenTitle(const Context& ctx, const std::vector<DiscTitle>& titles);

} // namespace qf
