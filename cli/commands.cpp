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

#include "cli/json_report.h"
#include "cli/sample.h"
#include "cli/terminal_host.h"
#include "cli/titles.h"
#include "engine/paths.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "jobs/outputs.h"
#include "model/session.h"
#include "model/window.h"
#include "playlist/playlist.h"

namespace qf::cli {

namespace {

constexpr const char* kProgram = "quillfen-cli";
// Every box of a selectable slot.
template <typename F> void forEachBox(Session& ctx, F f) {
    for (int family = 0; family < 3; ++family)
        for (int k = 0; k < kSelectableSlots[family]; ++k)
            f(family, k, ctx.ui.box(family, static_cast<size_t>(k)));
}

bool anyStream(Session& ctx) {
    bool any = false;
    forEachBox(ctx, [&](int, int, CheckBox& box) { any = any || box.enabled; });
    return any;
}

// Did the read find any stream, also one without a box (subpictures in slots 16-31)?
bool anyStreamFound(const Session& ctx) {
    for (int family = 0; family < 3; ++family) {
        const int32_t* slots = ctx.slotTable(static_cast<Family>(family));
        for (int k = 0; k < kFamilySlots[family]; ++k)
            if (slots[k] != -1) return true;
    }
    return false;
}

// The stream id the read reported for a slot; a stream only listed by a playlist has none.
std::string streamId(const Session& ctx, int family, int k) {
    const int32_t entry = ctx.slotTable(static_cast<Family>(family))[k];
    if (entry == 1) return "listed by the playlist";
    char buf[16];
    std::snprintf(buf, sizeof buf, "id %02X", static_cast<unsigned>(entry) & 0xFF);
    return buf;
}

// The streams --select can name, one line each: slot, caption, stream id.
std::string selectableStreams(Session& ctx) {
    size_t width = 0;
    forEachBox(ctx, [&](int, int, CheckBox& box) {
        if (box.enabled) width = std::max(width, box.caption.size());
    });
    std::string list = "Streams that can be selected:";
    forEachBox(ctx, [&](int family, int k, CheckBox& box) {
        if (!box.enabled) return;
        std::string slot = slotName(family, k), caption = box.caption;
        slot.resize(5, ' ');
        caption.resize(width + 2, ' ');
        list += "\n  " + slot + caption + streamId(ctx, family, k);
    });
    return list;
}

// Ticks exactly the boxes the items name, as the user would on the stream pages. An
// item that names no stream is a usage error, before anything is written.
void applySelection(Session& ctx, const std::vector<SelectItem>& items) {
    std::array<std::array<bool, 16>, 3> wanted{};
    std::string unknown;
    for (const SelectItem& item : items) {
        bool found = false;
        forEachBox(ctx, [&](int family, int k, CheckBox& box) {
            if (found || !box.enabled) return;
            const bool named = item.slot ? item.slot->family == family && item.slot->index == k
                                         : sameIgnoringCase(box.caption, item.text);
            if (named) {
                wanted[static_cast<size_t>(family)][static_cast<size_t>(k)] = true;
                found = true;
            }
        });
        if (!found) unknown += (unknown.empty() ? "'" : ", '") + item.text + "'";
    }
    if (!unknown.empty())
        throw UsageError("--select names no stream: " + unknown + "\n" + selectableStreams(ctx));
    forEachBox(ctx, [&](int family, int k, CheckBox& box) {
        if (box.enabled)
            setStreamChecked(ctx.ui, family, k,
                             wanted[static_cast<size_t>(family)][static_cast<size_t>(k)]);
    });
}

// The output folder must take files before a long Read pass runs for nothing.
void checkOutputFolder(std::string path) {
    if (path.empty()) path = ".";
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st {};
    int err = 0;
    if (::stat(path.c_str(), &st) != 0)
        err = errno;
    else if (!S_ISDIR(st.st_mode))
        err = ENOTDIR;
    else if (::access(path.c_str(), W_OK | X_OK) != 0)
        err = errno;
    if (err) throw Error("Cannot write to folder \"" + path + "\". " + std::strerror(err));
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

void runXpl(const Options& o, Session& ctx, TerminalHost& host) {
    ReadPlaylist(ctx, o.argument, o.source.value_or(""));
    // The log ends with an empty line; the outline and the listing follow it.
    printTree(host, ctx.ui.tvXPL, 0);
    host.printLine("");
    for (const std::string& line : ctx.ui.mXPL) host.printLine(line);
}

enum class Outcome { Done, NoStream, Cancelled };

// read, demux and rebuild up to the end of the job. Errors are thrown.
Outcome runJob(const Options& o, Session& ctx, ReportRun& report) {
    auto& ui = ctx.ui;
    ui.cbContinue = !o.noContinue;
    ui.cbFastCheck = !o.noFastCheck;
    ui.cbCountFr = !o.noCountFrames;
    ui.cbDetails = !o.noDetails;
    if (o.videoExt) ui.eVideoExt = *o.videoExt;
    if (o.audioExt) ui.eAudioExt = *o.audioExt;
    if (o.subExt) ui.eSubExt = *o.subExt;
    if (o.outputDir) ui.eWorkdir = *o.outputDir;
    ctx.outputChoices.codecExtensions = o.codecExt;
    ctx.outputChoices.keepExisting = o.noOverwrite;
    // Without a selection every stream is wanted, also one the fast check did not reach.
    ctx.writeLateStreams = !o.select;
    ctx.readWholeWords = {"use --no-fast-check", "--no-fast-check"};
    using SubFormat = JobState::OutputChoices::SubFormat;
    if (o.subFormat)
        ctx.outputChoices.subFormat = *o.subFormat == "sup" ? SubFormat::Sup : SubFormat::VobSub;
    ctx.outputChoices.forcedOnly = o.forcedOnly;
    ctx.outputChoices.chapters = !o.noChapters;
    ctx.outputChoices.delayInName = o.delayInName;
    ctx.outputChoices.mkvmergeOptions = !o.noMkvmergeOptions;
    // The follow-up job is started here, after the selection has been applied.
    setAutoMode(ctx.ui, 0);

    ui.eEVOfile = sourcePath(o.argument);
    EVOadj(ctx.ui);
    TitlesAdj(ctx.ui);
    if (o.title || o.angle) {
        if (ui.cmbTitle.empty())
            throw UsageError("--title and --angle need a DVD-Video disc as SOURCE");
        if (o.title) ui.title = *o.title;
        if (o.angle) ui.angle = *o.angle;
    }
    const bool writes = o.command != Command::Read;
    if (writes) checkOutputFolder(ui.eWorkdir.empty() ? folderPart(ui.eEVOfile) : ui.eWorkdir);
    if (o.playlist) {
        ui.eXPLfile = *o.playlist;
        XPLadj(ctx.ui);
        bReadXPLClick(ctx);
    } else {
        bCheckClick(ctx);
    }
    report.readComplete = !ctx.CancelFlag;
    if (cancelSignal()) return Outcome::Cancelled;
    if (!(writes ? anyStream(ctx) : anyStreamFound(ctx))) return Outcome::NoStream;
    if (!writes) return Outcome::Done;

    if (o.select) applySelection(ctx, *o.select);
    const bool rebuild = o.command == Command::Rebuild;
    if (o.noOverwrite) refuseExisting(plannedOutputs(ctx, jobRequest(ctx.ui), rebuild));
    if (rebuild)
        bRebuildClick(ctx);
    else
        bDemuxClick(ctx);
    return cancelSignal() ? Outcome::Cancelled : Outcome::Done;
}

const char* commandWord(Command c) {
    return c == Command::Read ? "read" : c == Command::Demux ? "demux" : "rebuild";
}

void printUsageError(const std::string& text) {
    std::string lines;
    for (size_t from = 0; from <= text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines += printable(text.substr(from, end - from)) + "\n";
        from = end + 1;
    }
    std::fprintf(stderr, "%s: %sTry '%s --help' for more information.\n", kProgram, lines.c_str(),
                 kProgram);
}

} // namespace

int runJobCommand(const Options& o, TerminalHost& host) {
    Session ctx(host);
    host.attach(ctx);
    ReportRun report;
    report.command = commandWord(o.command);
    report.listFiles = o.command == Command::Demux || o.command == Command::Rebuild;
    if (o.json) host.hideLog();
    auto printReport = [&] {
        if (o.json) host.printDocument(jsonReport(ctx, report));
    };
    try {
        if (o.command == Command::Xpl) {
            runXpl(o, ctx, host);
        } else {
            const Outcome outcome = runJob(o, ctx, report);
            if (outcome == Outcome::Done) {
                printReport();
                const bool leftOut =
                    std::any_of(ctx.LateStreams.begin(), ctx.LateStreams.end(),
                                [](const Context::LateStream& s) { return !s.written; });
                return leftOut ? kExitLeftOut : kExitOk;
            }
            if (outcome == Outcome::NoStream) {
                printReport();
                host.message("No stream found in " +
                             (o.playlist ? *o.playlist + " for " : std::string()) + o.argument);
                return kExitError;
            }
        }
    } catch (const UsageError& e) {
        host.clearProgress();
        printUsageError(e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        host.message(e.what());
        return kExitError;
    }
    if (!cancelSignal()) return kExitOk;
    report.cancelled = true;
    printReport();
    // Stopped by a signal: the files stay, closed, with what was written so far.
    if (ctx.CreatedFiles.empty()) {
        host.message("Cancelled: no file was written");
    } else {
        host.message("Cancelled: the output files are incomplete");
        for (const std::string& name : ctx.CreatedFiles) host.message(name);
    }
    return kExitSignalBase + cancelSignal();
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
    TerminalHost host(stdout, stderr, wantStyles(STDOUT_FILENO), wantProgress(STDERR_FILENO));
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
