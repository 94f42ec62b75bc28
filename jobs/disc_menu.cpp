// A menu chain of a DVD-Video disc read as the job's title.
#include "engine/dvd_menus.h"
#include "engine/markup.h"
#include "engine/title_stream.h"
#include "jobs/disc_title.h"
#include "jobs/runner.h"

namespace qf {

void openMenu(JobRunner& ctx, const DiscSource& source) {
    const std::string& path = ctx.job.source;
    const auto ref = parseMenuRef(ctx.job.menu);
    const std::vector<DiscMenu> menus = ref ? readDiscMenus(source) : std::vector<DiscMenu>{};
    const DiscMenu* m = ref ? findMenu(menus, *ref) : nullptr;
    if (!m || m->cells.empty())
        throw Error("Menu " + ctx.job.menu + " does not exist on " + namePart(path));

    TitleFacts& facts = ctx.cat.titleFacts;
    facts.dvdVideo = true;
    facts.angle = 1;
    facts.length = m->length;
    for (const DiscStream& s : m->streams)
        if (s.language) facts.languages.emplace(s.entry, *s.language);
    ctx.log("Opening menu " + m->name() + " of [b]" + escapeMarkup(namePart(path)) + "[/b] (" +
            ctx.formatTime(std::chrono::duration<double>(m->length)) + ")");
    ctx.io.SourceStream.reset();
    std::vector<TitleCell> cells;
    for (const DiscCell& c : m->cells) cells.push_back({c.sectors, false});
    auto stream = std::make_unique<TitleStream>(source.disc, m->titleSet, cells, true);
    // The chain's own still holds its last cell, after that cell's still.
    for (size_t i = 0; i < m->cells.size() && i < stream->cellStarts().size(); ++i) {
        const bool last = i + 1 == m->cells.size();
        const int cell = m->cells[i].still, chain = last ? m->still : 0;
        // Held until the user goes on: nothing to wait for in a file, as for titles.
        const int64_t ticks =
            cell == kStillForever || chain == kStillForever ? 0 : int64_t{cell + chain} * 90000;
        facts.cells.push_back({stream->cellStarts()[i], static_cast<int>(i) + 1, ticks, false});
    }
    ctx.io.SourceStream = std::move(stream);
}

} // namespace qf
