#pragma once
// The jobs behind the buttons. Each runs synchronously from its request (kept in ctx.job
// while it runs) and reports through ctx.events; errors are thrown as qf::Error after the
// job has closed what it opened.
#include <optional>

namespace qf {

class JobRunner;
struct JobRequest;

// How a job ended.
struct JobOutcome {
    bool ran = false;       // false: another job was running, this one did not start
    bool cancelled = false; // the user stopped it
};

enum class JobKind { Read, Demux, Rebuild };

JobOutcome readJob(JobRunner& ctx, const JobRequest& request);    // "Read EVO"
JobOutcome demuxJob(JobRunner& ctx, const JobRequest& request);   // "Demux"
JobOutcome rebuildJob(JobRunner& ctx, const JobRequest& request); // "Rebuild"
JobOutcome runJobOfKind(JobRunner& ctx, JobKind kind, const JobRequest& request);

// What follows a finished job: after a Read that ran and was not cancelled, the job the
// auto mode asks for (none, Demux or Rebuild). A user's Cancel means "stop here"; the
// fast-check stop is no reason to skip it. Every front end follows this rule.
std::optional<JobKind> followUpJob(JobKind done, const JobOutcome& outcome,
                                   std::optional<JobKind> autoJob);

} // namespace qf
