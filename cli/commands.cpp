#include "cli/commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "cli/event_lines.h"
#include "cli/json_report.h"
#include "cli/sample.h"
#include "cli/terminal_host.h"
#include "cli/titles.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/mkv_mux.h"
#include "jobs/outputs.h"
#include "jobs/runner.h"
#include "model/playlist_view.h"
#include "playlist/playlist.h"

namespace qf::cli {

namespace {

constexpr const char* kProgram = "quillfen-cli";

// Every selectable slot the read (or the playlist) listed.
template <typename F> void forEachListed(const JobRunner& ctx, F f) {
    for (Family family : kFamilies)
        for (int k = 0; k < kSelectableSlots[familyIndex(family)]; ++k)
            if (const ListedStream& s = ctx.cat.Listed.at(family, static_cast<size_t>(k));
                s.present)
                f(family, k, s);
}

bool anyStream(const JobRunner& ctx) {
    bool any = false;
    forEachListed(ctx, [&](Family, int, const ListedStream&) { any = true; });
    return any;
}

// Did the read find any stream, also one without a box (subpictures in slots 16-31)?
bool anyStreamFound(const JobRunner& ctx) {
    for (Family family : kFamilies) {
        const auto slots = ctx.cat.slotTable(family);
        for (size_t k = 0; k < static_cast<size_t>(kFamilySlots[familyIndex(family)]); ++k)
            if (!slots[k].empty()) return true;
    }
    return false;
}

// The stream id the read reported for a slot; a stream only listed by a playlist has none.
std::string streamId(const JobRunner& ctx, Family family, int k) {
    const SlotEntry& held = ctx.cat.slotTable(family)[static_cast<size_t>(k)];
    if (held.listed()) return "listed by the playlist";
    char buf[16];
    std::snprintf(buf, sizeof buf, "id %02X", static_cast<unsigned>(held.entry()) & 0xFF);
    return buf;
}

// The streams --select can name, one line each: slot, caption, stream id.
std::string selectableStreams(const JobRunner& ctx) {
    size_t width = 0;
    forEachListed(ctx, [&](Family, int, const ListedStream& s) {
        width = std::max(width, s.caption.size());
    });
    std::string list = "Streams that can be selected:";
    forEachListed(ctx, [&](Family family, int k, const ListedStream& s) {
        std::string slot = slotName(family, k), caption = s.caption;
        slot.resize(5, ' ');
        caption.resize(width + 2, ' ');
        list += "\n  " + slot + caption + streamId(ctx, family, k);
    });
    return list;
}

// Every stream listed, with its caption: what is written without --select.
Selection everyListedStream(const JobRunner& ctx) {
    Selection chosen;
    forEachListed(ctx, [&](Family family, int k, const ListedStream& s) {
        chosen.at(family, static_cast<size_t>(k)) = {true, s.caption};
    });
    return chosen;
}

// Exactly the streams the items name. An item that names no stream is a usage error,
// before anything is written.
Selection selectedStreams(const JobRunner& ctx, const std::vector<SelectItem>& items) {
    Selection chosen = everyListedStream(ctx);
    std::array<std::array<bool, 16>, 3> wanted{};
    std::string unknown;
    for (const SelectItem& item : items) {
        bool found = false;
        forEachListed(ctx, [&](Family family, int k, const ListedStream& s) {
            if (found) return;
            const bool named = item.slot ? item.slot->family == family && item.slot->index == k
                                         : sameIgnoringCase(s.caption, item.text);
            if (named) {
                wanted[familyIndex(family)][static_cast<size_t>(k)] = true;
                found = true;
            }
        });
        if (!found) unknown += (unknown.empty() ? "'" : ", '") + item.text + "'";
    }
    if (!unknown.empty())
        throw UsageError("--select names no stream: " + unknown + "\n" + selectableStreams(ctx));
    for (size_t family = 0; family < 3; ++family)
        for (size_t k = 0; k < 16; ++k) chosen.family[family][k].checked = wanted[family][k];
    return chosen;
}

void refuseExisting(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) == 0)
            throw Error("Cannot create file \"" + name + "\". " + std::strerror(EEXIST));
    }
}

void printTree(TerminalHost& host, const std::vector<TreeNode>& nodes, size_t depth) {
    for (const TreeNode& n : nodes) {
        host.printLine(std::string(depth * 2, ' ') + n.text);
        printTree(host, n.children, depth + 1);
    }
}

// Reads the playlist as the job of `request`; the streams of the title it lists for the
// source become the listed streams, captioned with their names.
Playlist readPlaylistFor(JobRunner& ctx, const JobRequest& request) {
    Playlist playlist;
    runJob(ctx, request, [&] {
        readPlaylist(ctx,
                     {request.playlist, namePart(request.playlist), namePart(request.source),
                      request.source},
                     playlist);
        takePlaylist(ctx, playlist, request.source);
    });
    if (!playlist.listed) return playlist;
    ctx.cat.Listed = {};
    for (const PlaylistTitle& title : playlist.titles)
        for (const PlaylistStream& stream : title.streams) {
            const size_t slot = stream.slot();
            const Family family = stream.kind == PlaylistStream::Kind::Video   ? Family::Video
                                  : stream.kind == PlaylistStream::Kind::Audio ? Family::Audio
                                                                               : Family::Subpicture;
            // The playlist's first video alone, as the window shows it.
            if (family == Family::Video ? slot != 0 : slot >= 16) continue;
            ctx.cat.Listed.at(family, slot) = {stream.name, true};
        }
    return playlist;
}

void runXpl(const Options& o, JobRunner& ctx, TerminalHost& host) {
    JobRequest request;
    request.playlist = o.argument;
    request.source = o.source.value_or("");
    const Playlist playlist = readPlaylistFor(ctx, request);
    // The log ends with an empty line; the outline and the listing follow it.
    printTree(host, playlistTree(playlist), 0);
    host.printLine("");
    for (const std::string& line : playlist.listing) host.printLine(line);
}

enum class Outcome { Done, NoStream, Cancelled };

// The request the options make, before a stream is chosen.
JobRequest requestOf(const Options& o) {
    JobRequest r;
    r.source = sourcePath(o.argument);
    r.playlist = o.playlist.value_or("");
    r.allParts = !o.noContinue;
    r.pass.fastCheck = !o.noFastCheck;
    r.pass.countFrames = !o.noCountFrames;
    r.pass.details = !o.noDetails;
    if (o.videoExt) r.extensions[0] = *o.videoExt;
    if (o.audioExt) r.extensions[1] = *o.audioExt;
    if (o.subExt) r.extensions[2] = *o.subExt;
    if (o.outputDir) r.workdir = *o.outputDir;
    OutputChoices& choices = r.output;
    choices.codecExtensions = o.codecExt;
    choices.keepExisting = o.noOverwrite;
    // Without a selection every stream is wanted, also one the fast check did not reach.
    choices.lateStreams = !o.select;
    using SubFormat = OutputChoices::SubFormat;
    if (o.subFormat)
        choices.subFormat = *o.subFormat == "sup"      ? SubFormat::Sup
                            : *o.subFormat == "vobsub" ? SubFormat::VobSub
                                                       : SubFormat::Pgs;
    using Pcm = OutputChoices::Pcm;
    if (o.pcm) choices.pcm = *o.pcm == "flac" ? Pcm::Flac : *o.pcm == "wav" ? Pcm::Wav : Pcm::Raw;
    choices.forcedOnly = o.forcedOnly;
    choices.chapters = !o.noChapters;
    choices.captions = !o.noCaptions;
    choices.delayInName = o.delayInName;
    choices.mkvmergeOptions = !o.noMkvmergeOptions || o.mkv;
    using Mkv = OutputChoices::Mkv;
    if (o.mkv) choices.mkv = o.keepStreams ? Mkv::MakeKeepingStreams : Mkv::Make;
    if (o.menu) {
        if (titleChoices(r.source).items.empty())
            throw UsageError("--menu needs a DVD-Video disc as SOURCE");
        r.menu = *o.menu;
    }
    if (o.title || o.angle) {
        if (titleChoices(r.source).items.empty())
            throw UsageError("--title and --angle need a DVD-Video disc as SOURCE");
        if (o.title) r.title = *o.title;
        if (o.angle) r.angle = *o.angle;
    }
    return r;
}

// read, demux and rebuild up to the end of the job. Errors are thrown. `events`, when
// given, is told which job starts.
Outcome runJob(const Options& o, JobRunner& ctx, ReportRun& report, Selection& chosen,
               EventLines* events) {
    auto starting = [&](std::string_view job) {
        if (events) events->jobStarted(job);
    };
    ctx.readWholeWords = {"use --no-fast-check", "--no-fast-check"};
    JobRequest request = requestOf(o);
    report.source = request.source;
    report.allParts = request.allParts;
    const bool writes = o.command != Command::Read;
    if (writes)
        checkOutputFolder(request.workdir.empty() ? folderPart(request.source) : request.workdir,
                          !request.workdir.empty());
    starting("read");
    if (o.playlist)
        readPlaylistFor(ctx, request);
    else
        readJob(ctx, request);
    report.readComplete = !ctx.control.stopRequested();
    chosen = everyListedStream(ctx);
    if (cancelSignal()) return Outcome::Cancelled;
    if (!(writes ? anyStream(ctx) : anyStreamFound(ctx))) return Outcome::NoStream;
    if (!writes) return Outcome::Done;

    if (o.select) chosen = selectedStreams(ctx, *o.select);
    request.selection = chosen;
    const bool rebuild = o.command == Command::Rebuild;
    const std::vector<std::string> planned = plan(ctx.cat, request, rebuild).files();
    if (o.dryRun) {
        for (const std::string& path : planned) ctx.log("Would create " + escapeMarkup(path));
        report.planned = planned;
        return Outcome::Done;
    }
    if (o.noOverwrite) refuseExisting(planned);
    starting(rebuild ? "rebuild" : "demux");
    if (rebuild)
        rebuildJob(ctx, request);
    else
        demuxJob(ctx, request);
    chosen = ctx.job.selection; // with the streams met late that the job wrote as well
    return cancelSignal() ? Outcome::Cancelled : Outcome::Done;
}

const char* commandWord(Command c) {
    return c == Command::Read ? "read" : c == Command::Demux ? "demux" : "rebuild";
}

std::string usageText(const std::string& text) {
    std::string lines;
    for (size_t from = 0; from <= text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines += printable(text.substr(from, end - from)) + "\n";
        from = end + 1;
    }
    return std::string(kProgram) + ": " + lines + "Try '" + kProgram +
           " --help' for more information.";
}

void printUsageError(const std::string& text) {
    std::fprintf(stderr, "%s\n", usageText(text).c_str());
}

// How a job command ended, for --events' last line.
struct CommandEnd {
    int status = kExitOk;
    const char* reason = "done";
};

CommandEnd jobCommand(const Options& o, TerminalHost& host, JobEvents& sink, EventLines* events,
                      ReportRun& report) {
    JobRunner ctx(sink);
    host.attach(ctx.control);
    Selection chosen;
    report.chosen = &chosen;
    report.log = &host.lines();
    report.command = commandWord(o.command);
    report.listFiles = o.command == Command::Demux || o.command == Command::Rebuild;
    if (o.json) host.hideLog();
    auto printReport = [&] {
        if (o.json) host.printDocument(jsonReport(ctx, report));
    };
    try {
        if (o.mkv && findMkvmerge().empty()) {
            // Before anything is read: the MKV asked for could not be made.
            host.message(noMkvmergeText("leave out --mkv"));
            return {kExitUsage, "usage"};
        }
        if (o.command == Command::Xpl) {
            runXpl(o, ctx, host);
        } else {
            const Outcome outcome = runJob(o, ctx, report, chosen, events);
            if (outcome == Outcome::Done) {
                printReport();
                const bool leftOut =
                    std::any_of(ctx.cat.LateStreams.begin(), ctx.cat.LateStreams.end(),
                                [](const Catalogue::LateStream& s) { return !s.written; });
                return leftOut ? CommandEnd{kExitLeftOut, "left_out"} : CommandEnd{};
            }
            if (outcome == Outcome::NoStream) {
                printReport();
                host.message("No stream found in " +
                             (o.playlist ? *o.playlist + " for " : std::string()) + o.argument);
                return {kExitError, "no_stream"};
            }
        }
    } catch (const UsageError& e) {
        host.clearProgress();
        if (events)
            events->message(usageText(e.what()));
        else
            printUsageError(e.what());
        return {kExitUsage, "usage"};
    } catch (const std::exception& e) {
        host.message(e.what());
        return {kExitError, "error"};
    }
    if (!cancelSignal()) return {};
    report.cancelled = true;
    printReport();
    // Stopped by a signal: the files stay, closed, with what was written so far.
    if (ctx.CreatedFiles.empty()) {
        host.message("Cancelled: no file was written");
    } else {
        host.message("Cancelled: the output files are incomplete");
        for (const std::string& name : ctx.CreatedFiles) host.message(name);
    }
    return {kExitSignalBase + cancelSignal(), "cancelled"};
}

} // namespace

// A job for each value of one option (a title, an angle); the first status that is not
// success is the command's.
static int runEach(const Options& o, TerminalHost& host, const std::vector<int>& values,
                   std::optional<int> Options::*field) {
    int status = kExitOk;
    for (const int v : values) {
        Options one = o;
        one.*field = v;
        const int s = runJobCommand(one, host);
        if (status == kExitOk) status = s;
        if (cancelSignal()) break;
    }
    return status;
}

int runJobCommand(const Options& o, TerminalHost& host) {
    // Every title of the disc is a job of its own, named by its title, as is every angle of
    // a title by its angle; the first status that is not success is the command's.
    if (o.title == kAllTitles) {
        std::vector<int> titles;
        try {
            titles = requestedTitles(requestOf(o));
        } catch (const std::exception& e) {
            host.message(e.what());
            return kExitError;
        }
        if (titles.empty()) {
            printUsageError("--title all reads the titles of a DVD-Video disc: '" + o.argument +
                            "' is none");
            return kExitUsage;
        }
        return runEach(o, host, titles, &Options::title);
    }
    if (o.angle == kAllAngles) {
        std::vector<int> angles;
        try {
            angles = requestedAngles(requestOf(o));
        } catch (const UsageError& e) {
            printUsageError(e.what());
            return kExitUsage;
        } catch (const std::exception& e) {
            host.message(e.what());
            return kExitError;
        }
        return runEach(o, host, angles, &Options::angle);
    }
    ReportRun report;
    if (!o.events) return jobCommand(o, host, host, nullptr, report).status;
    // Standard error carries only event lines: the messages become events too.
    EventLines events(host, stderr);
    host.sendMessagesTo([&](std::string_view text) { events.message(text); });
    const CommandEnd end = jobCommand(o, host, events, &events, report);
    host.sendMessagesTo({});
    events.stopped(end.reason, end.status, report.readComplete);
    return end.status;
}

int run(const std::vector<std::string>& args) {
    Options o;
    try {
        o = parseOptions(args);
    } catch (const UsageError& e) {
        printUsageError(e.what());
        return kExitUsage;
    }
    if (o.command == Command::Help) {
        std::fputs(helpText().c_str(), stdout);
        return kExitOk;
    }
    if (o.command == Command::Version) {
        std::puts(versionText().c_str());
        return kExitOk;
    }
    installCancelHandlers();
    // With --events, standard error is for event lines: no progress line drawn there.
    TerminalHost host(stdout, stderr, wantStyles(STDOUT_FILENO),
                      !o.events && wantProgress(STDERR_FILENO));
    int status = kExitOk;
    if (o.command == Command::Sample || o.command == Command::Titles) {
        try {
            status = o.command == Command::Sample ? runSampleCommand(o, host)
                                                  : runTitlesCommand(o, host);
        } catch (const std::exception& e) {
            host.message(e.what());
            status = kExitError;
        }
        // The disc is written whole in a moment; a signal meanwhile still counts.
        if (status == kExitOk && cancelSignal()) status = kExitSignalBase + cancelSignal();
    } else {
        status = runJobCommand(o, host);
    }
    host.clearProgress();
    return status;
}

} // namespace qf::cli
