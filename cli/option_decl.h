#pragma once
// The declaration of quillfen-cli's options, shared by the tables that declare them.
#include <string>
#include <vector>

#include "cli/options.h"

namespace qf::cli {

// The commands an option belongs to.
enum : unsigned {
    kRead = 1,
    kDemux = 2,
    kRebuild = 4,
    kXpl = 8,
    kSample = 16,
    kTitles = 32,
    kJobs = kRead | kDemux | kRebuild, // options that change a setting of the jobs
    kAll = kJobs | kXpl | kSample | kTitles,
};

struct OptionDecl {
    const char* names; // as the parser takes them: "-n,--no-overwrite"
    const char* value; // the value's name; nullptr for a flag
    unsigned commands;
    const char* help;
    void (*apply)(Options&, const std::string&); // the value ("" for a flag) into the options
};

// The options of DVD-Video discs: --title, --angle, --menus.
const std::vector<OptionDecl>& discOptions();

// Usage errors of the disc's options together.
void discOptionChecks(const Options& o);

// Every option, in the order the help lists them.
const std::vector<OptionDecl>& allOptions();

// The value as a number from 1 up, else UsageError("the value of OPTION is no number from 1
// up: 'V'").
int positiveNumber(const std::string& option, const std::string& value);

} // namespace qf::cli
