#include "cli/options.h"

#include "cli/option_decl.h"
#include "cli/subpicture_option.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "engine/codecs.h"
#include "engine/dvd_disc.h"
#include "engine/paths.h"
#include "engine/request.h"
#include "engine/slotmap.h"

namespace qf::cli {

namespace {

struct CommandDecl {
    Command command;
    unsigned bit;
    const char* word;
    const char* argument;
    const char* help;
};

const CommandDecl kCommands[] = {
    {Command::Read, kRead, "read", "SOURCE", "Read SOURCE and report the streams it carries."},
    {Command::Demux, kDemux, "demux", "SOURCE",
     "Read SOURCE, then write each selected stream into its own file, named "
     "BASENAME.STREAM.EXT in the output folder."},
    {Command::Rebuild, kRebuild, "rebuild", "SOURCE",
     "Read SOURCE (an .EVO file, or a title of a DVD-Video disc), then write "
     "BASENAME.rebuilt.EVO that keeps only the selected streams, renumbered."},
    {Command::Xpl, kXpl, "xpl", "PLAYLIST",
     "Read an HD DVD playlist (VPLST000.XPL). Prints the log, then the title's outline "
     "(info, streams, chapters), then the title's part of the playlist."},
    {Command::Sample, kSample, "sample", "DIR",
     "Write a small demonstration disc into DIR: DIR/HVDVD_TS/FEATURE_1.EVO, FEATURE_2.EVO "
     "and DIR/ADV_OBJ/VPLST000.XPL."},
    {Command::Titles, kTitles, "titles", "SOURCE",
     "List the titles of a DVD-Video disc: number, title set, length, chapters, angles, and "
     "one line per stream with the slot --select takes, the stream id, format, channels and "
     "language, as the disc's IFO files give them."},
};

std::string extension(const std::string& option, const std::string& value) {
    // The window's extension fields hold at most five characters; a separator would
    // put the file into another folder, and an empty one would leave a name ending in ".".
    if (value.empty()) throw UsageError("the value of " + option + " is empty");
    if (value.size() > 5)
        throw UsageError("the value of " + option + " has more than 5 characters: '" + value + "'");
    if (value.find('/') != std::string::npos)
        throw UsageError("the value of " + option + " must not contain '/'");
    return value;
}

std::string notEmpty(const std::string& option, const std::string& value) {
    if (value.empty()) throw UsageError("the value of " + option + " is empty");
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

// The extensions --codec-ext names files with: ".m2v, .264, ... or .sup".
std::string codecExtensionList() {
    std::vector<std::string_view> exts;
    for (const CodecInfo& c : kCodecs)
        if (!c.extension.empty() && std::find(exts.begin(), exts.end(), c.extension) == exts.end())
            exts.push_back(c.extension);
    std::string list;
    for (size_t k = 0; k < exts.size(); ++k)
        list += std::string(k == 0                 ? ""
                            : k + 1 == exts.size() ? " or "
                                                   : ", ") +
                "." + std::string(exts[k]);
    return list;
}

const std::string kCodecExtHelp =
    "Name each stream file by its codec: " + codecExtensionList() +
    " instead of the three extensions below (which still serve a stream whose codec is not "
    "known).";

const OptionDecl kOptions[] = {
    {"-o", "DIR", kJobs,
     "Output folder (default: the source file's folder), taken as itself, never through a "
     "symbolic link. demux and rebuild check that it exists and takes files before SOURCE "
     "is read.",
     [](Options& o, const std::string& v) { o.outputDir = notEmpty("-o", v); }},
    {"--select", "LIST", kDemux | kRebuild,
     "The streams to keep, a comma list of slots (v0, v1, a0 ... a15, s0 ... s15; leading "
     "zeros allowed) or stream names as the read shows them (e.g. DD+.stream.01). Default: "
     "every stream found. An item that names no stream is a usage error, which lists the "
     "streams that can be selected (slot, name, stream id).",
     [](Options& o, const std::string& v) { o.select = parseSelect(v); }},
    {"--playlist", "PLAYLIST", kDemux,
     "Take the streams and their names from the playlist's title for SOURCE instead of "
     "reading SOURCE first.",
     [](Options& o, const std::string& v) { o.playlist = notEmpty("--playlist", v); }},
    {"--source", "SOURCE", kXpl,
     "Show the title that plays SOURCE (its name without extension is looked for in the "
     "playlist).",
     [](Options& o, const std::string& v) { o.source = notEmpty("--source", v); }},
    {"-n,--no-overwrite", nullptr, kDemux | kRebuild | kSample,
     "Refuse to replace an output file that exists already: an error before anything is "
     "written. Without it, an existing file of yours with no other name is replaced, by a "
     "file written beside it and renamed over it at the end (sample: only with --force).",
     [](Options& o, const std::string&) { o.noOverwrite = true; }},
    {"--dry-run", nullptr, kDemux | kRebuild,
     "Read the source and name every file the job would write (\"Would create NAME\"), "
     "without writing any; with --json the report lists them as \"planned\".",
     [](Options& o, const std::string&) { o.dryRun = true; }},
    {"--force", nullptr, kSample,
     "Replace the disc's files where they exist already (regular files only, never "
     "through a link). Without it, sample writes nothing when one exists.",
     [](Options& o, const std::string&) { o.force = true; }},
    {"--codec-ext", nullptr, kDemux, kCodecExtHelp.c_str(),
     [](Options& o, const std::string&) { o.codecExt = true; }},
    {"--sub-format", "FORMAT", kDemux, kSubFormatHelp, applySubFormat},
    {"--pcm", "FORMAT", kDemux,
     "The files of LPCM streams: flac (lossless, with the MD5 of the audio in its header), wav "
     "(WAVE_FORMAT_EXTENSIBLE with the channel mask of the disc's channel assignment; RF64 "
     "past 4 GiB) or raw (the sample data as the disc packs it). Default: flac while the "
     "options file is written (see --no-mkvmerge-options), else raw.",
     [](Options& o, const std::string& v) {
         if (v != "flac" && v != "wav" && v != "raw")
             throw UsageError("the value of --pcm must be flac, wav or raw: '" + v + "'");
         o.pcm = v;
     }},
    {"--forced-only", nullptr, kDemux,
     "VobSub: write only the forced subpicture units (those shown with subtitles off).",
     [](Options& o, const std::string&) { o.forcedOnly = true; }},
    {"--no-chapters", nullptr, kDemux,
     "Do not write the title's chapters (BASENAME.chapters.xml, Matroska, and "
     "BASENAME.chapters.txt, OGM).",
     [](Options& o, const std::string&) { o.noChapters = true; }},
    {"--no-captions", nullptr, kDemux,
     "Do not write the closed captions the video carries (BASENAME.CC1.srt ... CC4, one "
     "SubRip file per channel, timed from the video's start).",
     [](Options& o, const std::string&) { o.noCaptions = true; }},
    {"--delay-in-name", nullptr, kDemux,
     "Put each audio and .sup subpicture stream's delay against the video into its file "
     "name: BASENAME.STREAM DELAY -83ms.ac3.",
     [](Options& o, const std::string&) { o.delayInName = true; }},
    {"--no-mkvmerge-options", nullptr, kDemux,
     "Do not write BASENAME.mkvmerge.json, the options file for \"mkvmerge @FILE\" (in the "
     "output folder) that muxes the stream files, with their languages, names and delays, "
     "and the chapters into BASENAME.mkv. The files it names are named by codec.",
     [](Options& o, const std::string&) { o.noMkvmergeOptions = true; }},
    {"--mkv", nullptr, kDemux,
     "After the demux, run mkvmerge (from PATH; the mkvtoolnix package) on the options file: "
     "it muxes the stream files, with their languages, names and delays, the chapters and "
     "the captions, into BASENAME.mkv in the output folder, its progress shown as the "
     "demux's, its warnings in the log. The files it muxed and the options file are removed "
     "then, unless --keep-streams or mkvmerge warned; when it fails, they stay and no "
     "BASENAME.mkv is left.",
     [](Options& o, const std::string&) { o.mkv = true; }},
    {"--keep-streams", nullptr, kDemux,
     "With --mkv: keep the stream files and the options file beside BASENAME.mkv.",
     [](Options& o, const std::string&) { o.keepStreams = true; }},
    {"--json", nullptr, kJobs | kTitles,
     "Print one JSON document on standard output instead of the log: the sources, every "
     "stream with its slot, name, id, first time stamp and the values the log shows, the "
     "frame counts, the log lines, for demux and rebuild the files written, and for a title "
     "of a DVD-Video disc its chapters, palette and the streams' languages. For titles: every "
     "title of the disc with its streams.",
     [](Options& o, const std::string&) { o.json = true; }},
    {"--events", nullptr, kJobs,
     "Write each event of the job as one JSON line on standard error, flushed at once: "
     "job, stream, part, progress (bytes done and total, remaining seconds), file, "
     "late_stream, message (the lines standard error has without it) and, last, stopped "
     "(reason and exit status). Combines with --json.",
     [](Options& o, const std::string&) { o.events = true; }},
    {"--no-continue", nullptr, kJobs, "Read the source alone, not the title's further parts.",
     [](Options& o, const std::string&) { o.noContinue = true; }},
    {"--no-fast-check", nullptr, kJobs, "Read the whole source, not only its first ~300 MB.",
     [](Options& o, const std::string&) { o.noFastCheck = true; }},
    {"--no-count-frames", nullptr, kJobs, "Do not count video frames.",
     [](Options& o, const std::string&) { o.noCountFrames = true; }},
    {"--no-details", nullptr, kJobs, "Do not describe the streams in detail.",
     [](Options& o, const std::string&) { o.noDetails = true; }},
    {"--video-ext", "EXT", kJobs, "Extension of video stream files (default mpv).",
     [](Options& o, const std::string& v) { o.videoExt = extension("--video-ext", v); }},
    {"--audio-ext", "EXT", kJobs, "Extension of audio stream files (default mpa).",
     [](Options& o, const std::string& v) { o.audioExt = extension("--audio-ext", v); }},
    {"--sub-ext", "EXT", kJobs,
     "Extension of subpicture stream files (default sup). Extensions have 1 to 5 "
     "characters and no '/'.",
     [](Options& o, const std::string& v) { o.subExt = extension("--sub-ext", v); }},
};

constexpr const char* kHelpNames = "-h,--help";
constexpr const char* kHelpHelp = "Show this help.";
constexpr const char* kVersionNames = "--version";
constexpr const char* kVersionHelp = "Show the program's name and version.";

// Which commands an option is for, as the help says it ("demux, rebuild: ").
std::string commandsPrefix(unsigned commands) {
    if (commands == kJobs || commands == kAll || commands == 0) return "";
    std::string s;
    for (const CommandDecl& c : kCommands)
        if (commands & c.bit) s += (s.empty() ? "" : ", ") + std::string(c.word);
    return s + ": ";
}

std::vector<std::string> split(const char* names) {
    std::vector<std::string> out;
    std::istringstream in(names);
    for (std::string name; std::getline(in, name, ',');) out.push_back(name);
    return out;
}

// One entry of a two-column list: the left part, then the text wrapped at 80 columns.
void entry(std::ostringstream& out, const std::string& left, const std::string& text) {
    constexpr size_t kColumn = 23, kWidth = 80;
    std::string line = "  " + left;
    if (line.size() + 1 > kColumn) {
        out << line << "\n";
        line.clear();
    }
    line.resize(kColumn, ' ');
    std::istringstream words(text);
    bool first = true;
    for (std::string word; words >> word;) {
        if (!first && line.size() + 1 + word.size() > kWidth) {
            out << line << "\n";
            line.assign(kColumn, ' ');
            first = true;
        }
        line += (first ? "" : " ") + word;
        first = false;
    }
    out << line << "\n";
}

void paragraph(std::ostringstream& out, const std::string& text) {
    std::istringstream words(text);
    std::string line;
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > 79) {
            out << line << "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    out << line << "\n\n";
}

[[noreturn]] void unknownCommand(const std::string& word) {
    throw UsageError("unknown command '" + word + "'");
}

} // namespace

int positiveNumber(const std::string& option, const std::string& value) {
    int n = 0;
    for (char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || n > 9999)
            throw UsageError("the value of " + option + " is no number from 1 up: '" + value + "'");
        n = n * 10 + (c - '0');
    }
    if (value.empty() || n < 1)
        throw UsageError("the value of " + option + " is no number from 1 up: '" + value + "'");
    return n;
}

const std::vector<OptionDecl>& allOptions() {
    // The disc's options follow --source, where the help has always listed them.
    static const std::vector<OptionDecl> all = [] {
        std::vector<OptionDecl> list;
        for (const OptionDecl& d : kOptions) {
            list.push_back(d);
            if (std::string_view(d.names) == "--source")
                list.insert(list.end(), discOptions().begin(), discOptions().end());
        }
        return list;
    }();
    return all;
}

std::optional<SlotRef> parseSlot(const std::string& text) {
    if (text.size() < 2) return std::nullopt;
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (kind != 'v' && kind != 'a' && kind != 's') return std::nullopt;
    const Family family = kind == 'v'   ? Family::Video
                          : kind == 'a' ? Family::Audio
                                        : Family::Subpicture;
    long index = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        index = std::min(index * 10 + (text[i] - '0'), 1000L);
    }
    const long last = kSelectableSlots[familyIndex(family)] - 1;
    if (index > last)
        throw UsageError("no such stream slot: '" + text + "' (slots are v0-v1, a0-a15, s0-s15)");
    return SlotRef{family, static_cast<int>(index)};
}

std::string slotName(Family family, int index) {
    if (family == Family::Video) return "v" + std::to_string(index);
    return std::string(family == Family::Audio ? "a" : "s") + (index < 10 ? "0" : "") +
           std::to_string(index);
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) throw UsageError("no command given");
    const std::string& word = args[0];
    if (word == "help") return o;
    const bool known = std::any_of(std::begin(kCommands), std::end(kCommands),
                                   [&](const CommandDecl& c) { return word == c.word; });
    if (!known && (word.empty() || word[0] != '-')) unknownCommand(word);

    CLI::App app("", "quillfen-cli");
    app.set_help_flag(); // one help for everything, written below
    CLI::Option* helpFlag = app.add_flag(kHelpNames);
    CLI::Option* versionFlag = app.add_flag(kVersionNames);
    app.require_subcommand(0, 1);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    std::vector<std::string> positional;
    bool help = false;
    for (const CommandDecl& c : kCommands) {
        CLI::App* sub = app.add_subcommand(c.word);
        sub->set_help_flag();
        sub->add_flag_callback(kHelpNames, [&help] { help = true; });
        sub->add_option(c.argument, positional);
        sub->parse_complete_callback([&o, c] { o.command = c.command; });
        for (const OptionDecl& d : allOptions()) {
            if (!(d.commands & c.bit)) continue;
            if (d.value) {
                sub->add_option_function<std::string>(
                       d.names, [&o, &d](const std::string& v) { d.apply(o, v); })
                    ->type_name(d.value);
            } else {
                sub->add_flag_callback(d.names, [&o, &d] { d.apply(o, ""); })
                    ->disable_flag_override();
            }
        }
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them so
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    if (versionFlag->count() && app.get_subcommands().empty()) {
        o.command = Command::Version;
        return o;
    }
    if (help || helpFlag->count()) {
        o.command = Command::Help;
        return o;
    }
    if (app.get_subcommands().empty()) unknownCommand(word);

    const CommandDecl& c =
        *std::find_if(std::begin(kCommands), std::end(kCommands),
                      [&](const CommandDecl& d) { return d.command == o.command; });
    if (positional.empty()) throw UsageError(std::string("'") + c.word + "' needs " + c.argument);
    if (positional.size() > 1) throw UsageError("unexpected argument '" + positional[1] + "'");
    o.argument = positional[0];
    if (o.argument.empty()) throw UsageError(std::string(c.argument) + " is empty");
    if (o.keepStreams && !o.mkv) throw UsageError("--keep-streams goes with --mkv");
    if (o.mkv && o.noMkvmergeOptions)
        throw UsageError(
            "--mkv runs mkvmerge on the options file: leave out --no-mkvmerge-options");
    discOptionChecks(o);
    // As in the window, only HD DVD objects can be rebuilt, and titles of DVD-Video discs.
    if (o.command == Command::Rebuild && upperExt(o.argument) != ".EVO" && !discSource(o.argument))
        throw UsageError("'rebuild' needs an .EVO source or a DVD-Video disc");
    return o;
}

std::vector<CommandInfo> commandList() {
    std::vector<CommandInfo> list;
    for (const CommandDecl& c : kCommands) list.push_back({c.word, c.argument, c.help});
    return list;
}

std::vector<OptionInfo> optionList() {
    std::vector<OptionInfo> list;
    auto add = [&](const char* names, const char* value, unsigned commands, const char* help) {
        OptionInfo info{split(names), value ? value : "", {}, help};
        for (const CommandDecl& c : kCommands)
            if (commands & c.bit) info.commands.push_back(c.word);
        const std::string prefix = commandsPrefix(commands);
        if (!prefix.empty())
            info.help =
                prefix + static_cast<char>(std::tolower(info.help[0])) + info.help.substr(1);
        list.push_back(std::move(info));
    };
    for (const OptionDecl& d : allOptions()) add(d.names, d.value, d.commands, d.help);
    add(kHelpNames, nullptr, kAll, kHelpHelp);
    add(kVersionNames, nullptr, 0, kVersionHelp);
    return list;
}

std::string helpText() {
    std::ostringstream out;
    out << "Usage: quillfen-cli COMMAND [OPTIONS] ARGUMENT\n\n";
    paragraph(out, "Takes apart MPEG-2 program streams: HD DVD (.EVO), DVD-Video (.VOB) and "
                   "DVD-Audio (.AOB) files.");
    out << "Commands:\n";
    for (const CommandInfo& c : commandList()) entry(out, c.word + " " + c.argument, c.help);
    entry(out, "help", kHelpHelp);
    out << "\n";
    paragraph(out, "A title in numbered parts (FEATURE_1.EVO, FEATURE_2.EVO ... or VTS_01_1.VOB, "
                   "VTS_01_2.VOB ...) is handled as one: each part is read after the one before "
                   "and goes into the same files, and BASENAME is the first part's name, \"_\" "
                   "and the last part's: FEATURE_1_FEATURE_2.");
    paragraph(out, "A DVD-Video disc (a folder holding VIDEO_TS, a VIDEO_TS folder, an .iso image, "
                   "or a VTS_nn_0.IFO for the titles of one title set) is read title by title: "
                   "the title's cells in playing order, as one stream; its streams are named "
                   "with the languages the disc gives them, and BASENAME is the disc's name + "
                   "\"_title\" + the title's two-digit number. A folder holding HVDVD_TS and "
                   "ADV_OBJ (an HD DVD disc) stands for its HVDVD_TS/FEATURE_1.EVO.");
    paragraph(out, "Options may stand anywhere after the command word, before or after the "
                   "argument; \"--\" ends the options. \"--name=value\" is the same as \"--name "
                   "value\". Options without a command named before their text apply to read, "
                   "demux and rebuild.");
    out << "Options:\n";
    for (const OptionInfo& o : optionList()) {
        std::string left;
        for (const std::string& name : o.names) left += (left.empty() ? "" : ", ") + name;
        if (!o.value.empty()) left += " " + o.value;
        entry(out, left, o.help);
    }
    out << "\n";
    paragraph(out, "Output: standard output carries the log, one line per message and nothing "
                   "else. On a terminal, names are shown in bold and values in blue bold (plain "
                   "text when NO_COLOR is set or TERM is dumb), and the progress of a long pass "
                   "is shown on standard error, at most ten times a second.");
    paragraph(out, "Exit status: 0 success; 1 error, its message on standard error (also: read "
                   "finds no stream, demux or rebuild have nothing to write); 2 usage error "
                   "(also: a --select item that names no stream, --mkv without mkvmerge); 3 done, "
                   "but streams were left "
                   "out: with --select, a stream that begins after the part the fast check read "
                   "was not written (the log names it; --no-fast-check reads it); 130 after "
                   "Ctrl-C and 143 after SIGTERM, which stop the running pass at its next block, "
                   "keep the files written so far and name them on standard error.");
    std::string text = out.str();
    text.pop_back(); // one line break at the end
    return text;
}

std::string versionText() {
    return std::string("quillfen-cli ") + QUILLFEN_VERSION;
}

} // namespace qf::cli
