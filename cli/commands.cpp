#include "cli/commands.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <exception>

#include "cli/sample.h"
#include "cli/terminal_host.h"
#include "engine/context.h"
#include "jobs/jobs.h"
#include "jobs/window.h"
#include "playlist/playlist.h"

namespace qf::cli {

namespace {

constexpr const char* kProgram = "quillfen-cli";

bool sameCaption(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The check box of a selectable slot; nullptr for a slot without one.
CheckBox* boxAt(Context& ctx, int family, int index) {
    auto& ui = ctx.ui;
    if (family == 0) return index < 2 ? &ui.cbVideo[static_cast<size_t>(index)] : nullptr;
    if (index >= 16) return nullptr;
    return family == 1 ? &ui.cbAudio[static_cast<size_t>(index)]
                       : &ui.cbSub[static_cast<size_t>(index)];
}

constexpr int kFamilySize[3] = {2, 16, 16};

void warn(TerminalHost& host, const std::string& text) {
    host.message(std::string(kProgram) + ": warning: " + text);
}

// Ticks exactly the boxes the items name, as the user would on the stream pages.
void applySelection(Context& ctx, const std::vector<SelectItem>& items, TerminalHost& host) {
    std::array<std::array<bool, 16>, 3> wanted{};
    for (const SelectItem& item : items) {
        if (item.slot) {
            const CheckBox* box = boxAt(ctx, item.slot->family, item.slot->index);
            if (!box || !box->enabled) {
                warn(host, "slot " + item.text + " holds no stream; ignored");
                continue;
            }
            wanted[static_cast<size_t>(item.slot->family)][static_cast<size_t>(item.slot->index)] =
                true;
            continue;
        }
        bool found = false;
        for (int f = 0; f < 3 && !found; ++f) {
            for (int k = 0; k < kFamilySize[f] && !found; ++k) {
                const CheckBox* box = boxAt(ctx, f, k);
                if (box->enabled && sameCaption(box->caption, item.text)) {
                    wanted[static_cast<size_t>(f)][static_cast<size_t>(k)] = true;
                    found = true;
                }
            }
        }
        if (!found) warn(host, "no stream is named '" + item.text + "'; ignored");
    }
    for (int f = 0; f < 3; ++f)
        for (int k = 0; k < kFamilySize[f]; ++k)
            if (boxAt(ctx, f, k)->enabled)
                setStreamChecked(ctx, f, k, wanted[static_cast<size_t>(f)][static_cast<size_t>(k)]);
}

bool anyChecked(Context& ctx) {
    for (int f = 0; f < 3; ++f)
        for (int k = 0; k < kFamilySize[f]; ++k)
            if (boxAt(ctx, f, k)->checked) return true;
    return false;
}

void printTree(TerminalHost& host, const std::vector<TreeNode>& nodes, size_t depth) {
    for (const TreeNode& n : nodes) {
        host.printLine(std::string(depth * 2, ' ') + n.text);
        printTree(host, n.children, depth + 1);
    }
}

int exitStatus() {
    return interruptRequested() ? kExitInterrupted : kExitOk;
}

int runXpl(const Options& o, Context& ctx, TerminalHost& host) {
    auto& ui = ctx.ui;
    if (o.source) {
        ui.eEVOfile = *o.source;
        EVOadj(ctx);
    }
    ui.eXPLfile = o.argument;
    XPLadj(ctx);
    bReadXPLClick(ctx);
    // The log ends with an empty line; the outline and the listing follow it.
    printTree(host, ui.tvXPL, 0);
    host.printLine("");
    for (const std::string& line : ui.mXPL) host.printLine(line);
    return exitStatus();
}

} // namespace

int runJobCommand(const Options& o, TerminalHost& host) {
    Context ctx(host);
    host.attach(ctx);
    auto& ui = ctx.ui;
    if (o.command == Command::Xpl) return runXpl(o, ctx, host);

    ui.cbContinue = !o.noContinue;
    ui.cbFastCheck = !o.noFastCheck;
    ui.cbCountFr = !o.noCountFrames;
    ui.cbDetails = !o.noDetails;
    if (o.videoExt) ui.eVideoExt = *o.videoExt;
    if (o.audioExt) ui.eAudioExt = *o.audioExt;
    if (o.subExt) ui.eSubExt = *o.subExt;
    if (o.outputDir) ui.eWorkdir = *o.outputDir;
    // The follow-up job is started here, after the selection has been applied.
    setAutoMode(ctx, 0);

    ui.eEVOfile = o.argument;
    EVOadj(ctx);
    if (o.playlist) {
        ui.eXPLfile = *o.playlist;
        XPLadj(ctx);
        bReadXPLClick(ctx);
    } else {
        bCheckClick(ctx);
    }
    if (interruptRequested()) return kExitInterrupted;
    if (o.command == Command::Read) return kExitOk;

    if (o.select) applySelection(ctx, *o.select, host);
    if (!anyChecked(ctx)) warn(host, "no stream selected");
    if (o.command == Command::Demux)
        bDemuxClick(ctx);
    else
        bRebuildClick(ctx);
    return exitStatus();
}

int run(const std::vector<std::string>& args) {
    Options o;
    try {
        o = parseOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, e.what(),
                     kProgram);
        return kExitUsage;
    }
    if (o.command == Command::Help) {
        std::fputs(helpText(), stdout);
        return kExitOk;
    }
    installInterruptHandler();
    TerminalHost host(stdout, stderr, isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1);
    try {
        const int status =
            o.command == Command::Sample ? runSampleCommand(o, host) : runJobCommand(o, host);
        host.clearProgress();
        return interruptRequested() ? kExitInterrupted : status;
    } catch (const std::exception& e) {
        host.message(e.what());
        return kExitError;
    }
}

} // namespace qf::cli
