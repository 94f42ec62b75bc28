#include "jobs/control.h"

#include "engine/context.h"
#include "engine/markup.h"

namespace qf {

void logError(Context& ctx, const std::string& text) {
    ctx.log("[c:0000FF]" + escapeMarkup(text) + "[/c:0000FF]"); // colours are BBGGRR
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

} // namespace qf
