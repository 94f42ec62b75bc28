#pragma once
// The --sub-format option of demux: its help and its values.
#include <string>

namespace qf::cli {

struct Options;

extern const char* const kSubFormatHelp;
// Takes sup, vobsub or pgs into the options; any other value is a usage error.
void applySubFormat(Options& o, const std::string& value);

} // namespace qf::cli
