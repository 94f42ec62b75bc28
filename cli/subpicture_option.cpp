#include "cli/subpicture_option.h"

#include "cli/options.h"

namespace qf::cli {

const char* const kSubFormatHelp =
    "Subpicture files: sup (\"SP\" records), vobsub (BASENAME.STREAM.idx + .sub, the pair "
    "Matroska muxers read) or pgs (BASENAME.STREAM.sup as presentation graphics, which "
    "Matroska muxers read too). Default: vobsub for DVD-Video (.VOB); for HD DVD while the "
    "options file is written (see --no-mkvmerge-options) vobsub for 2-bit units and pgs for "
    "8-bit ones; sup otherwise.";

void applySubFormat(Options& o, const std::string& v) {
    if (v != "sup" && v != "vobsub" && v != "pgs")
        throw UsageError("the value of --sub-format must be sup, vobsub or pgs: '" + v + "'");
    o.subFormat = v;
}

} // namespace qf::cli
