#pragma once
// The command line of quillfen-cli: a command word, then options and one argument in
// any order. Every option is declared once, in a table that both the parser and the
// help text are made from.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/slotmap.h"

namespace qf::cli {

// A malformed command line; the text says what is wrong (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Command { Read, Demux, Rebuild, Xpl, Sample, Titles, Help, Version };

// One item of --select: a slot (v0, a01, s15) or a check-box caption (DD+.stream.01).
struct SelectItem {
    std::string text;
    std::optional<SlotRef> slot; // empty for a caption
};

struct Options {
    Command command = Command::Help;
    std::string argument; // SOURCE, PLAYLIST or DIR
    std::optional<std::string> outputDir, videoExt, audioExt, subExt, playlist, source;
    std::optional<std::vector<SelectItem>> select;
    std::optional<int> title, angle; // of a DVD-Video disc
    bool menus = false;              // titles: list the disc's menus too
    std::optional<std::string> menu; // read, demux: a menu of the disc, "vmg:N" or "vtsT:N"
    bool noContinue = false, noFastCheck = false, noCountFrames = false, noDetails = false;
    bool codecExt = false, noOverwrite = false;
    bool dryRun = false;                  // demux, rebuild: name the files, write none
    bool force = false;                   // sample: replace existing files
    std::optional<std::string> subFormat; // "sup", "vobsub" or "pgs"
    std::optional<std::string> pcm;       // "flac", "wav" or "raw"
    bool forcedOnly = false, noChapters = false, noCaptions = false, delayInName = false,
         noMkvmergeOptions = false;
    bool mkv = false, keepStreams = false; // demux: mux into BASE.mkv; keep what it muxed
    bool json = false;   // one JSON document on standard output instead of the log
    bool events = false; // each event as a JSON line on standard error
};

// Parses the arguments after the program name. Throws UsageError.
Options parseOptions(const std::vector<std::string>& args);

// "v0", "a07", "S15" ...: the slot, nullopt when the text is not written as a slot.
// Throws UsageError for a slot that has no check box (v2, a16).
std::optional<SlotRef> parseSlot(const std::string& text);
// A slot as --select takes it and the read report names it: "v0", "a01", "s00".
std::string slotName(Family family, int index);

// The commands and options as the help lists them; the manual page and the shell
// completion are made from these lists too.
struct CommandInfo {
    std::string word, argument, help;
};
struct OptionInfo {
    std::vector<std::string> names;    // "-n", "--no-overwrite"
    std::string value;                 // the value's name; empty for a flag
    std::vector<std::string> commands; // the command words it goes with; none: before them
    std::string help; // led by the commands ("demux, rebuild: ") unless it suits every job
};
std::vector<CommandInfo> commandList();
std::vector<OptionInfo> optionList();

// The --help text, made from the lists above.
std::string helpText();

// "quillfen-cli 1.2.3".
std::string versionText();

} // namespace qf::cli
