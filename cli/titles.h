#pragma once
// quillfen-cli titles SOURCE: the titles of a DVD-Video disc and their streams.
#include <string>
#include <vector>

#include "cli/options.h"
#include "engine/dvd_disc.h"

namespace qf::cli {

class TerminalHost;

// Prints the titles (or with --json one document); returns the exit status.
int runTitlesCommand(const Options& options, TerminalHost& host);

// The slot each stream of a title will have, as --select takes it ("v0", "a01", "s00"):
// given in the order the disc lists the streams, as a read gives slots in the order it
// meets them.
std::vector<std::string> selectKeys(const DiscTitle& title);

// A stream's line under its title (or menu): its key, id, format, and for audio channels,
// sample rate and mode; its language.
std::string streamLine(const DiscStream& s, const std::string& key);

} // namespace qf::cli
