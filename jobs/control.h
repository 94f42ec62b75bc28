#pragma once
// Cancel, and what a front end shows after a job failed.
#include <functional>
#include <string>

namespace qf {

class JobRunner;
class RunControl;

// Cancel: a pass that writes files is held while `ask` asks the user whether to stop it
// (a half-written file is lost work), and stops only on yes; any other pass stops at once.
// True when the stop was requested.
bool requestCancel(RunControl& control, const std::function<bool()>& ask);

// An error that ended a handler, besides its message box: its text as the log's last
// line, in red, and an idle status bar ("Ready", no progress) instead of the step it
// stopped at.
void logError(JobRunner& ctx, const std::string& text);

} // namespace qf
