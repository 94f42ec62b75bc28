#pragma once
// The commands of quillfen-cli, each run on the window model and the jobs of the core.
#include <string>
#include <vector>

#include "cli/options.h"

namespace qf::cli {

class TerminalHost;

// Exit statuses: success, an error of a job, a malformed command line, Ctrl-C.
inline constexpr int kExitOk = 0, kExitError = 1, kExitUsage = 2, kExitInterrupted = 130;

// The whole program: parses the arguments after the program name, runs the command and
// reports errors; returns the exit status.
int run(const std::vector<std::string>& args);

// read, demux, rebuild and xpl. Errors of the jobs are let through.
int runJobCommand(const Options& options, TerminalHost& host);

} // namespace qf::cli
