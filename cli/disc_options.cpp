#include <string_view>

#include "cli/option_decl.h"
#include "engine/request.h"

namespace qf::cli {

const std::vector<OptionDecl>& discOptions() {
    static const std::vector<OptionDecl> list = {
        {"--title", "N", kJobs,
         "For a DVD-Video disc (a folder holding VIDEO_TS, a VIDEO_TS folder, an .iso image or a "
         "VTS_nn_0.IFO): the title to read, as the titles command numbers them, main, or all "
         "for a job per title. Default (main): the longest title that neither plays the same "
         "cells as an earlier one nor plays its cells out of order.",
         [](Options& o, const std::string& v) {
             o.title = v == "main" ? 0 : v == "all" ? kAllTitles : positiveNumber("--title", v);
         }},
        {"--angle", "K", kJobs,
         "For a DVD-Video title of several angles: the angle to read, 1 to 9, or all for one "
         "set of files per angle (default 1). A seamless angle block is read through its "
         "navigation data: only the chosen angle's interleaved units are written.",
         [](Options& o, const std::string& v) {
             if (v == "all") {
                 o.angle = kAllAngles;
                 return;
             }
             const int k = positiveNumber("--angle", v);
             if (k > 9)
                 throw UsageError("the value of --angle is no angle from 1 to 9: '" + v + "'");
             o.angle = k;
         }},
        {"--menus", nullptr, kTitles,
         "For a DVD-Video disc: list its menus too, the video manager's (vmg) and each title "
         "set's (vtsT): program chain, language unit, entry, length, still times of the cells, "
         "streams.",
         [](Options& o, const std::string&) { o.menus = true; }},
    };
    return list;
}

} // namespace qf::cli
