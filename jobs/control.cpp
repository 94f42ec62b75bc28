#include "jobs/control.h"

#include "engine/markup.h"
#include "engine/run_control.h"
#include "jobs/runner.h"

namespace qf {

bool requestCancel(RunControl& control, const std::function<bool()>& ask) {
    if (control.writing()) {
        control.pause.hold();
        bool yes = false;
        try {
            yes = ask();
        } catch (...) {
            control.pause.release();
            throw;
        }
        control.pause.release();
        if (!yes) return false;
    }
    control.requestStop(StopReason::Cancel);
    return true;
}

void logError(JobRunner& ctx, const std::string& text) {
    ctx.log("[c:0000FF]" + escapeMarkup(text) + "[/c:0000FF]"); // colours are BBGGRR
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

} // namespace qf
