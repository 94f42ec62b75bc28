#pragma once
// What a window (or a test of one) holds: its model and the core's state together. The
// handlers here make a job's request from the model, run the job, and apply its events to
// the model; a front end that runs the job on another thread calls the steps apart.
#include <optional>
#include <string>

#include "jobs/jobs.h"
#include "jobs/runner.h"
#include "model/host.h"
#include "model/window_model.h"

namespace qf {

// Applies a job's events to the window model, then tells the front end.
class WindowEvents : public JobEvents {
public:
    explicit WindowEvents(Host& frontEnd) : host(frontEnd) {}

    WindowModel ui;
    Host& host;

    void logAppended(const std::string& markedLine) override;
    void statusChanged(int panel, const std::string& text) override;
    void passRunning(bool running) override { ui.bCancel = running; }
    void streamsListed(const StreamList& streams) override;
    void streamAdded(Family family, size_t slot, const std::string& caption) override;
    void baseNameChosen(const std::string& baseName) override { ui.BaseName = baseName; }
    void processEvents() override { host.processEvents(); }
    void repaint() override { host.repaint(); }
};

class Session : public WindowEvents, public JobRunner {
public:
    explicit Session(Host& frontEnd)
        : WindowEvents(frontEnd), JobRunner(static_cast<WindowEvents&>(*this)) {}

    // The Rebuild button's state when the running job started (kept for non-EVO sources).
    bool bRebuildBefore = false;
};

// A job's request as the window's state gives it: the source, its title and angle, the
// options and the ticked boxes with their captions.
JobRequest jobRequest(const WindowModel& ui);

// The job the window's auto mode runs after a Read, if any.
std::optional<JobKind> autoJob(const WindowModel& ui);

// The window's side of starting a job (buttons, page, for a Read the boxes emptied); the
// request it runs. Call only while no job runs.
JobRequest beginJob(Session& s, JobKind kind);
// The window's side of its end: the buttons as the outcome leaves them. A Read that ran
// to its end and listed no stream says so in the log and the status bar.
void endJob(Session& s, JobKind kind, bool succeeded, bool cancelled = false);
// Before a job that writes (Demux, Rebuild, or a Read an auto mode follows): throws
// Error when the output folder takes no files, before the source is read.
void checkJobOutputFolder(const Session& s, JobKind kind);

// The buttons, run where they are pressed: begin, run, end. A job is refused while another
// runs. After a Read that was not cancelled, the auto mode's follow-up runs.
void bCheckClick(Session& s);   // "Read EVO"
void bDemuxClick(Session& s);   // "Demux"
void bRebuildClick(Session& s); // "Rebuild"
// "Cancel": a writing pass is held while the user is asked `question`; true when the stop
// was requested.
bool bCancelClick(Session& s, const std::string& question = "Are you sure to stop demuxing?");

// After the source changed: when it is a DVD-Video disc, fills the title chooser and
// chooses the main title (angle 1); otherwise empties the chooser. Throws Error when
// the disc cannot be read.
void TitlesAdj(WindowModel& ui);

} // namespace qf
