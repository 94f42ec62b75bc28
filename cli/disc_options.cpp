#include <string_view>

#include "cli/option_decl.h"
#include "engine/dvd_menus.h"
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
        {"--menu", "vmg:N|vtsT:N", kRead | kDemux,
         "For a DVD-Video disc: read menu program chain N of the video manager (vmg:N) or of "
         "title set T (vtsT:N), of its first language unit, instead of a title; its outputs are "
         "named NAME_menu_vmg_N or NAME_menu_vtsT_N.",
         [](Options& o, const std::string& v) {
             if (!parseMenuRef(v))
                 throw UsageError("the value of --menu must be vmg:N or vtsT:N: '" + v + "'");
             o.menu = v;
         }},
    };
    return list;
}

void discOptionChecks(const Options& o) {
    if (o.menu && (o.title || o.angle)) throw UsageError("--menu goes without --title and --angle");
}

} // namespace qf::cli
