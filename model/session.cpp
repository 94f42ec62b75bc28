#include "model/session.h"

#include <algorithm>

#include "engine/markup.h"
#include "engine/paths.h"
#include "jobs/control.h"
#include "jobs/disc_title.h"
#include "jobs/mkv_mux.h"
#include "model/window.h"

namespace qf {

void WindowEvents::logAppended(const std::string& markedLine) {
    ui.log.push_back(markedLine);
    host.logAppended(ui.log.back());
}

void WindowEvents::statusChanged(int panel, const std::string& text) {
    auto& slot = ui.status[panel == 0 ? 0 : 1];
    slot = text;
    if (panel != 0) ui.statusHint = slot;
    host.statusChanged(panel == 0 ? 0 : 1, slot);
}

void WindowEvents::streamsListed(const StreamList& streams) {
    for (Family family : kFamilies) {
        const size_t boxes = family == Family::Video ? ui.cbVideo.size() : ui.cbAudio.size();
        for (size_t k = 0; k < boxes; ++k) {
            CheckBox& box = ui.box(family, k);
            const ListedStream& listed = streams.at(family, k);
            box.enabled = box.checked = listed.present;
            if (listed.present) box.caption = listed.caption;
        }
    }
}

void WindowEvents::streamAdded(Family family, size_t slot, const std::string& caption) {
    CheckBox& box = ui.box(family, slot);
    box.enabled = box.checked = true;
    box.caption = caption;
}

namespace {
bool present(const ListedStream& s) {
    return s.present;
}
} // namespace

JobRequest jobRequest(const WindowModel& ui) {
    JobRequest r;
    r.source = ui.eEVOfile;
    r.playlist = ui.eXPLfile;
    r.title = ui.title;
    r.angle = ui.angle;
    r.allParts = ui.cbContinue;
    r.pass.fastCheck = ui.cbFastCheck;
    r.pass.details = ui.cbDetails;
    r.pass.countFrames = ui.cbCountFr;
    r.workdir = ui.eWorkdir;
    r.extensions = {ui.eVideoExt, ui.eAudioExt, ui.eSubExt};
    r.output = ui.outputChoices;
    // The MKV is made from the options file.
    if (r.output.mkv != OutputChoices::Mkv::Off) r.output.mkvmergeOptions = true;
    for (Family family : kFamilies) {
        const size_t boxes = family == Family::Video ? ui.cbVideo.size() : ui.cbAudio.size();
        for (size_t k = 0; k < boxes; ++k) {
            const CheckBox& box = ui.box(family, k);
            r.selection.at(family, k) = {box.checked, box.caption};
        }
    }
    return r;
}

JobRequest beginJob(Session& s, JobKind kind) {
    auto& ui = s.ui;
    s.bRebuildBefore = kind == JobKind::Read ? false : ui.bRebuild;
    if (kind == JobKind::Read) {
        ui.bCheck = false;
        ui.bDemux = false;
        ui.bRebuild = false;
        Resetcbs(ui);
    } else {
        ui.bDemux = false;
        ui.bRebuild = false;
    }
    ui.page = 0;
    return jobRequest(ui);
}

void checkJobOutputFolder(const Session& s, JobKind kind) {
    const auto& ui = s.ui;
    const bool writes = kind != JobKind::Read || ui.rbAutoDemux || ui.rbAutoRebuild;
    if (!writes || ui.eEVOfile.empty()) return;
    checkOutputFolder(ui.eWorkdir.empty() ? folderPart(ui.eEVOfile) : ui.eWorkdir,
                      !ui.eWorkdir.empty());
    // A Demux that is to end in an MKV needs mkvmerge, as the Demux job checks again.
    const bool demux = kind == JobKind::Demux || (kind == JobKind::Read && ui.rbAutoDemux);
    if (demux && ui.outputChoices.mkv != OutputChoices::Mkv::Off && findMkvmerge().empty())
        throw Error(noMkvmergeText("untick Make MKV"));
}

void endJob(Session& s, JobKind kind, bool succeeded, bool cancelled) {
    auto& ui = s.ui;
    if (succeeded && !cancelled && kind == JobKind::Read &&
        std::none_of(s.cat.Listed.video.begin(), s.cat.Listed.video.end(), present) &&
        std::none_of(s.cat.Listed.audio.begin(), s.cat.Listed.audio.end(), present) &&
        std::none_of(s.cat.Listed.sub.begin(), s.cat.Listed.sub.end(), present)) {
        s.log("[b]No stream found[/b] in " + escapeMarkup(namePart(ui.eEVOfile)));
        s.slog("No stream found", 1);
    }
    if (!succeeded) {
        // As the selection asks, so that the user can try again.
        ui.bCancel = false;
        ui.bCheck = !ui.eEVOfile.empty();
        ui.bRebuild = s.bRebuildBefore;
        cbVideoClick(ui);
    } else if (kind == JobKind::Read) {
        ui.bCheck = true;
        cbVideoClick(ui);
    } else {
        ui.bDemux = true;
        ui.bRebuild = true;
    }
}

namespace {

JobOutcome runHere(Session& s, JobKind kind) {
    if (s.busy) return {};
    checkJobOutputFolder(s, kind);
    const JobRequest request = beginJob(s, kind);
    JobOutcome outcome;
    try {
        outcome = runJobOfKind(s, kind, request);
    } catch (...) {
        endJob(s, kind, false);
        throw;
    }
    endJob(s, kind, true, outcome.cancelled);
    return outcome;
}

} // namespace

std::optional<JobKind> autoJob(const WindowModel& ui) {
    if (ui.rbAutoDemux) return JobKind::Demux;
    if (ui.rbAutoRebuild) return JobKind::Rebuild;
    return std::nullopt;
}

void bCheckClick(Session& s) {
    const JobOutcome outcome = runHere(s, JobKind::Read);
    if (const auto next = followUpJob(JobKind::Read, outcome, autoJob(s.ui))) runHere(s, *next);
}

void bDemuxClick(Session& s) {
    runHere(s, JobKind::Demux);
}

void bRebuildClick(Session& s) {
    runHere(s, JobKind::Rebuild);
}

bool bCancelClick(Session& s, const std::string& question) {
    return requestCancel(s.control, [&] { return s.host.askYesNo(question); });
}

void TitlesAdj(WindowModel& ui) {
    ui.cmbTitle.clear();
    ui.title = 0;
    ui.angle = 1;
    const TitleChoices choices = titleChoices(ui.eEVOfile);
    for (const auto& item : choices.items)
        ui.cmbTitle.push_back({item.number, item.text, item.angles});
    ui.title = choices.longest;
}

} // namespace qf
