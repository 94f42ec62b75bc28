#include "cli/sample.h"

#include "cli/commands.h"
#include "cli/terminal_host.h"
#include "samples/sample_disc.h"

namespace qf::cli {

int runSampleCommand(const Options& options, TerminalHost& host) {
    for (const std::string& path :
         writeSampleDisc(options.argument, options.force && !options.noOverwrite))
        host.printLine(path);
    host.printLine(kSampleNote);
    return kExitOk;
}

} // namespace qf::cli
