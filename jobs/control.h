#pragma once
// What the window asks of a running job, and what it shows after one failed.
#include <string>

namespace qf {

class Context;

// "Cancel": asks first while a writing pass runs.
void bCancelClick(Context& ctx);
// An error that ended a handler, besides its message box: its text as the log's last
// line, in red, and an idle status bar ("Ready", no progress) instead of the step it
// stopped at.
void logError(Context& ctx, const std::string& text);

} // namespace qf
