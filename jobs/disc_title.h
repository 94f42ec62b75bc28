#pragma once
// DVD-Video discs as sources of the jobs: the title chooser, the title a job reads and the
// facts the IFO files give of it.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/dvd_disc.h"
#include "engine/paths.h"

namespace qf {

class JobRunner;
struct JobRequest;

// What the title chooser offers for a source: for a DVD-Video disc one item per title
// ("1 — 0:00:30, 3 chapters") and the main title's number (the longest that no decoy mark rules
// out); nothing for a file. Throws Error when the disc cannot be read.
struct TitleChoices {
    struct Item {
        int number = 0;
        std::string text;
        int angles = 1;
    };
    std::vector<Item> items;
    int longest = 0;
};
TitleChoices titleChoices(const std::string& source);

// For a disc source: the name the outputs of the chosen title begin with (the source name
// without extension + "_title" + two digits, + "_angle" + K for angle K > 1); none for a
// file source.
std::optional<std::string> discTitleName(const JobRequest& request);

// The angles a request reads, a job each in turn (request.angle set to it): every angle of
// the chosen title for kAllAngles, else the one asked for. Throws as chosenTitle.
std::vector<int> requestedAngles(const JobRequest& request);
// The titles a request reads: every title the disc can read for kAllTitles (none for a
// file source), else the one asked for.
std::vector<int> requestedTitles(const JobRequest& request);

// Opens the job's title as SourceStream and logs the opening line: for a disc, the chosen
// title's cells ("Opening title N of NAME (C chapters, h:mm:ss)"), with its chapters,
// palette and languages in titleFacts; for a file, "Opening file NAME" (the name in bold
// when `boldName`), its parts joined into one stream. Throws Error for a title or angle
// the disc does not have, and the open errors of every part.
void openTitle(JobRunner& ctx, const Title& title, bool boldName);

// openTitle for the request's menu chain: its cells from the menu VOB as one stream, its
// still times on the title's clock. Throws Error("Menu vts1:9 does not exist on NAME").
void openMenu(JobRunner& ctx, const DiscSource& source);

// Appends the language name the disc gives a stream to its listed caption
// ("DD.stream.00" becomes "DD.stream.00.English").
void captionLanguages(JobRunner& ctx);

// The chosen title of a disc source: the request's, or the main title when none is chosen.
// Throws Error when the disc has no such title, with the reason for one it lists that
// cannot be read.
const DiscTitle& chosenTitle(const JobRequest& request, const std::vector<DiscTitle>& titles,
                             const std::vector<RefusedTitle>& refused = {});

} // namespace qf
