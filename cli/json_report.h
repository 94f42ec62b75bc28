#pragma once
// The --json report: what a script reads instead of the log of a read, demux or rebuild.
#include <string>

namespace qf {
class Session;
}

namespace qf::cli {

struct ReportRun {
    std::string command;      // "read", "demux", "rebuild"
    bool readComplete = true; // the Read job read every part to its end
    bool cancelled = false;   // a signal stopped the run
    bool listFiles = false;   // demux and rebuild: the files written
};

// One JSON document (pretty-printed, ending in a line break) describing the sources, the
// streams with their values, the frame counts, the log without markup and the files.
std::string jsonReport(const Session& ctx, const ReportRun& run);

} // namespace qf::cli
