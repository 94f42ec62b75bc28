#pragma once
// What a front end shows after a job failed.
#include <string>

namespace qf {

class Context;

// An error that ended a handler, besides its message box: its text as the log's last
// line, in red, and an idle status bar ("Ready", no progress) instead of the step it
// stopped at.
void logError(Context& ctx, const std::string& text);

} // namespace qf
