#include "cli/options.h"

#include <algorithm>
#include <cctype>

#include "jobs/window.h"

namespace qf::cli {

namespace {

// Options that change a setting of the jobs; they belong to read, demux and rebuild.
bool isSettingCommand(Command c) {
    return c == Command::Read || c == Command::Demux || c == Command::Rebuild;
}

const char* commandWord(Command c) {
    switch (c) {
    case Command::Read:
        return "read";
    case Command::Demux:
        return "demux";
    case Command::Rebuild:
        return "rebuild";
    case Command::Xpl:
        return "xpl";
    case Command::Sample:
        return "sample";
    case Command::Help:
        break;
    }
    return "help";
}

std::optional<Command> parseCommand(const std::string& word) {
    if (word == "read") return Command::Read;
    if (word == "demux") return Command::Demux;
    if (word == "rebuild") return Command::Rebuild;
    if (word == "xpl") return Command::Xpl;
    if (word == "sample") return Command::Sample;
    if (word == "help") return Command::Help;
    return std::nullopt;
}

std::string extension(const std::string& option, const std::string& value) {
    // The window's extension fields hold at most five characters; a separator would
    // put the file into another folder.
    if (value.size() > 5)
        throw UsageError("the value of " + option + " has more than 5 characters: '" + value + "'");
    if (value.find('/') != std::string::npos)
        throw UsageError("the value of " + option + " must not contain '/'");
    return value;
}

std::vector<SelectItem> parseSelect(const std::string& list) {
    std::vector<SelectItem> items;
    size_t from = 0;
    for (;;) {
        const size_t comma = list.find(',', from);
        std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
        if (!item.empty()) items.push_back({item, parseSlot(item)});
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (items.empty()) throw UsageError("--select needs at least one stream");
    return items;
}

} // namespace

std::optional<SlotRef> parseSlot(const std::string& text) {
    if (text.size() < 2) return std::nullopt;
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    const int family = kind == 'v' ? 0 : kind == 'a' ? 1 : kind == 's' ? 2 : -1;
    if (family < 0) return std::nullopt;
    long index = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        index = std::min(index * 10 + (text[i] - '0'), 1000L);
    }
    const long last = family == 0 ? 1 : 15;
    if (index > last)
        throw UsageError("no such stream slot: '" + text + "' (slots are v0-v1, a0-a15, s0-s15)");
    return SlotRef{family, static_cast<int>(index)};
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) throw UsageError("no command given");
    const std::string& word = args[0];
    if (word == "-h" || word == "--help") return o;
    auto cmd = parseCommand(word);
    if (!cmd) throw UsageError("unknown command '" + word + "'");
    o.command = *cmd;

    std::vector<std::string> positional;
    bool help = false, optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" is the same as "--name value".
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw UsageError("option " + arg + " needs a value");
            return args[++i];
        };
        auto allowedFor = [&](bool allowed) {
            if (!allowed)
                throw UsageError("option " + arg + " does not apply to '" + commandWord(o.command) +
                                 "'");
        };
        const bool setting = isSettingCommand(o.command);
        const bool writes = o.command == Command::Demux || o.command == Command::Rebuild;
        auto flag = [&](bool& target) {
            if (inlineValue) throw UsageError("option " + arg + " takes no value");
            allowedFor(setting);
            target = true;
        };
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--no-continue") {
            flag(o.noContinue);
        } else if (arg == "--no-fast-check") {
            flag(o.noFastCheck);
        } else if (arg == "--no-count-frames") {
            flag(o.noCountFrames);
        } else if (arg == "--no-details") {
            flag(o.noDetails);
        } else if (arg == "-o") {
            allowedFor(setting);
            o.outputDir = value();
        } else if (arg == "--video-ext") {
            allowedFor(setting);
            o.videoExt = extension(arg, value());
        } else if (arg == "--audio-ext") {
            allowedFor(setting);
            o.audioExt = extension(arg, value());
        } else if (arg == "--sub-ext") {
            allowedFor(setting);
            o.subExt = extension(arg, value());
        } else if (arg == "--select") {
            allowedFor(writes);
            o.select = parseSelect(value());
        } else if (arg == "--playlist") {
            allowedFor(o.command == Command::Demux);
            o.playlist = value();
        } else if (arg == "--source") {
            allowedFor(o.command == Command::Xpl);
            o.source = value();
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }
    if (help || o.command == Command::Help) {
        o.command = Command::Help;
        return o;
    }
    const char* what = o.command == Command::Xpl      ? "PLAYLIST"
                       : o.command == Command::Sample ? "DIR"
                                                      : "SOURCE";
    if (positional.empty())
        throw UsageError(std::string("'") + commandWord(o.command) + "' needs " + what);
    if (positional.size() > 1) throw UsageError("unexpected argument '" + positional[1] + "'");
    o.argument = positional[0];
    if (o.argument.empty()) throw UsageError(std::string(what) + " is empty");
    // As in the window, only HD DVD objects can be rebuilt.
    if (o.command == Command::Rebuild && upperExt(o.argument) != ".EVO")
        throw UsageError("'rebuild' needs an .EVO source");
    return o;
}

const char* helpText() {
    return R"(Usage: quillfen-cli COMMAND [OPTIONS] ARGUMENT

Takes apart MPEG-2 program streams: HD DVD (.EVO), DVD-Video (.VOB) and
DVD-Audio (.AOB) files.

Commands:
  read SOURCE          Read SOURCE and report the streams it carries.
  demux SOURCE         Read SOURCE, then write each selected stream into its own
                       file, named BASENAME.STREAM.EXT in the output folder.
  rebuild SOURCE       Read SOURCE (an .EVO file), then write BASENAME.rebuilt.EVO
                       that keeps only the selected streams, renumbered.
  xpl PLAYLIST         Read an HD DVD playlist (VPLST000.XPL). Prints the log,
                       then the title's outline (info, streams, chapters), then
                       the title's part of the playlist.
  sample DIR           Write a small demonstration disc into DIR:
                       DIR/HVDVD_TS/FEATURE_1.EVO, FEATURE_2.EVO and
                       DIR/ADV_OBJ/VPLST000.XPL.

A title in two parts (FEATURE_1.EVO, FEATURE_2.EVO) is handled as one: the
second part is read after the first and goes into the same files, and
BASENAME is then FEATURE_1_FEATURE_2.

Options may stand anywhere after the command word, before or after the
argument; "--" ends the options. "--name=value" is the same as "--name value".
  -o DIR               Output folder (default: the source file's folder).
  --select LIST        demux, rebuild: the streams to keep, a comma list of
                       slots (v0, v1, a0 ... a15, s0 ... s15; leading zeros
                       allowed) or stream names as the read shows them
                       (e.g. DD+.stream.01). Default: every stream found.
                       An item that names no stream is ignored with a warning.
  --playlist PLAYLIST  demux: take the streams and their names from the
                       playlist's title for SOURCE instead of reading SOURCE
                       first.
  --source SOURCE      xpl: show the title that plays SOURCE (its name without
                       extension is looked for in the playlist).
  --no-continue        Do not continue with the title's second part.
  --no-fast-check      Read the whole source, not only its first ~300 MB.
  --no-count-frames    Do not count video frames.
  --no-details         Do not describe the streams in detail.
  --video-ext EXT      Extension of video stream files (default mpv).
  --audio-ext EXT      Extension of audio stream files (default mpa).
  --sub-ext EXT        Extension of subpicture stream files (default sup).
                       Extensions have at most 5 characters.
  -h, --help           Show this help.

Output: standard output carries the log, one line per message and nothing
else. On a terminal, names are shown in bold and values in blue bold, and the
progress of a long pass is shown on standard error.

Exit status: 0 success; 1 error (its message on standard error); 2 usage
error; 130 interrupted by Ctrl-C, which stops the running pass at its next
block and keeps the files written so far.
)";
}

} // namespace qf::cli
