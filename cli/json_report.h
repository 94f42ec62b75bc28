#pragma once
// The --json report: what a script reads instead of the log of a read, demux or rebuild.
#include <string>
#include <vector>

namespace qf {
class JobRunner;
struct Selection;
} // namespace qf

namespace qf::cli {

struct ReportRun {
    std::string command;                           // "read", "demux", "rebuild"
    bool readComplete = true;                      // the Read job read every part to its end
    bool cancelled = false;                        // a signal stopped the run
    bool listFiles = false;                        // demux and rebuild: the files written
    std::string source;                            // as the job took it
    bool allParts = true;                          // the title's further parts were read too
    const Selection* chosen = nullptr;             // the streams the run wrote (or would)
    const std::vector<std::string>* log = nullptr; // the log's marked-up lines
    std::vector<std::string> planned;              // --dry-run: the files the job would write
};

// One JSON document (pretty-printed, ending in a line break) describing the sources, the
// streams with their values, the frame counts, the log without markup and the files.
std::string jsonReport(const JobRunner& ctx, const ReportRun& run);

} // namespace qf::cli
