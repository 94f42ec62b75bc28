#pragma once
// quillfen-cli sample DIR.
#include "cli/options.h"

namespace qf::cli {

class TerminalHost;

// Writes the demonstration disc into options.argument and prints each path written.
int runSampleCommand(const Options& options, TerminalHost& host);

} // namespace qf::cli
