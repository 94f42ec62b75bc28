// Read, Demux and Rebuild on a worker thread. The job reports through a queue of events
// that this thread applies to the window model in their order, so the window repaints and
// answers Cancel while a read blocks; the job's end comes last through the same queue.
#include <chrono>
#include <exception>
#include <thread>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>

#include "Main.h"
#include "jobs/control.h"

namespace qf {

template <typename F> void TfMain::QueuedEvents::post(F f) {
    QMetaObject::invokeMethod(
        &w_, [w = &w_, f = std::move(f)] { f(*w); }, Qt::QueuedConnection);
}

void TfMain::QueuedEvents::logAppended(const std::string& line) {
    post([line](TfMain& w) { w.ctx_.WindowEvents::logAppended(line); });
}

void TfMain::QueuedEvents::statusChanged(int panel, const std::string& text) {
    post([panel, text](TfMain& w) { w.ctx_.WindowEvents::statusChanged(panel, text); });
}

void TfMain::QueuedEvents::passRunning(bool running) {
    post([running](TfMain& w) {
        w.ctx_.WindowEvents::passRunning(running);
        w.syncFromModel();
    });
}

void TfMain::QueuedEvents::streamsListed(const StreamList& streams) {
    post([streams](TfMain& w) {
        w.ctx_.WindowEvents::streamsListed(streams);
        w.syncFromModel();
    });
}

void TfMain::QueuedEvents::streamAdded(Family family, size_t slot, const std::string& caption) {
    post([family, slot, caption](TfMain& w) {
        w.ctx_.WindowEvents::streamAdded(family, slot, caption);
        w.syncFromModel();
    });
}

void TfMain::QueuedEvents::baseNameChosen(const std::string& baseName) {
    post([baseName](TfMain& w) { w.ctx_.WindowEvents::baseNameChosen(baseName); });
}

TfMain::~TfMain() {
    // A job still running stops at its next block; its queued events go with the window.
    if (worker_.joinable()) {
        ctx_.control.requestStop(StopReason::Cancel);
        ctx_.control.pause.release();
        worker_.join();
    }
}

void TfMain::startWorkerJob(JobKind kind) {
    if (jobRunning()) return; // one job at a time
    guarded([&] {
        checkJobOutputFolder(ctx_, kind); // the first message, before anything is read
        ctx_.ui.clearedLog.clear();
        const JobRequest request = beginJob(ctx_, kind);
        ctx_.events = &queued_;
        // A job started by the chooser or a shortcut keeps the focus where it was; one
        // started by a button returns it there.
        if (!running_ && !focusBeforeJob_) focusBeforeJob_ = QApplication::focusWidget();
        running_ = true;
        runningKind_ = kind;
        worker_ = std::thread([this, kind, request] {
            JobOutcome outcome;
            std::exception_ptr failure;
            try {
                outcome = runJobOfKind(ctx_, kind, request);
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(
                this, [this, kind, outcome, failure] { workerJobEnded(kind, outcome, failure); },
                Qt::QueuedConnection);
        });
    });
}

void TfMain::workerJobEnded(JobKind kind, const JobOutcome& outcome, std::exception_ptr failure) {
    worker_.join();
    ctx_.events = static_cast<WindowEvents*>(&ctx_);
    running_ = false;
    guarded([&] {
        endJob(ctx_, kind, !failure, outcome.cancelled);
        if (failure) std::rethrow_exception(failure);
    });
    const auto next =
        failure || closePending_ ? std::nullopt : followUpJob(kind, outcome, autoJob(ctx_.ui));
    if (next) {
        startWorkerJob(*next);
        if (jobRunning()) return; // the focus goes back once the follow-up ends
    }
    restoreFocus();
}

void TfMain::restoreFocus() {
    QPointer<QWidget> before = focusBeforeJob_;
    focusBeforeJob_.clear();
    // While a job runs its buttons are disabled and the focus moves on (to the tab bar,
    // often); it goes back to the control that started the job, or to the next step.
    if (before && before->isEnabled() && before->isVisibleTo(this) && before->window() == this) {
        before->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QWidget* next : {static_cast<QWidget*>(bDemux_), static_cast<QWidget*>(bCheck_)})
        if (next->isEnabled()) {
            next->setFocus(Qt::OtherFocusReason);
            return;
        }
}

void TfMain::waitForJob() {
    while (jobRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (jobRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace qf
