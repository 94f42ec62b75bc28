#pragma once
// The commands of quillfen-cli, each run on the window model and the jobs of the core.
#include <string>
#include <vector>

#include "cli/options.h"

namespace qf::cli {

class TerminalHost;

// Exit statuses: success, an error of a job, a malformed command line. A run cancelled
// by a signal ends with 128 + the signal's number (130 for SIGINT, 143 for SIGTERM).
inline constexpr int kExitOk = 0, kExitError = 1, kExitUsage = 2, kExitSignalBase = 128;
// Done, but streams were left out: the fast check stopped before they began.
inline constexpr int kExitLeftOut = 3;

// The whole program: parses the arguments after the program name, runs the command and
// reports errors; returns the exit status.
int run(const std::vector<std::string>& args);

// read, demux, rebuild and xpl, with their errors reported; returns the exit status.
int runJobCommand(const Options& options, TerminalHost& host);

} // namespace qf::cli
