#include "jobs/disc_title.h"

#include <algorithm>
#include <cstdio>

#include "engine/disc_files.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/title_stream.h"
#include "jobs/runner.h"

namespace qf {

namespace {

std::string chooserText(const DiscTitle& t) {
    // Whole seconds, as the log shows lengths.
    const auto s = static_cast<long>(t.length);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d \u2014 %ld:%02ld:%02ld, %zu chapter%s", t.number, s / 3600,
                  s / 60 % 60, s % 60, t.chapterCount(), t.chapterCount() == 1 ? "" : "s");
    return buf;
}

std::string twoDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

// A title set's VOB beside its IFO takes the set's palette and languages from its first
// title; without them its subpictures would get the common default colours.
void titleSetFacts(JobRunner& ctx, const std::string& path) {
    const auto set = titleSetOfVob(path);
    if (!set) return;
    const std::string ifo = infoName(set->titleSet, "IFO");
    std::vector<DiscTitle> titles;
    try {
        titles = readDiscTitles(*set);
    } catch (const Error& e) {
        ctx.log("The palette and languages of " + ifo + " cannot be taken: " + e.what());
        return;
    }
    const DiscTitle& t = titles.front();
    TitleFacts& facts = ctx.cat.titleFacts;
    facts.palette = t.palette;
    facts.line21Field1 = t.video.captionsField1;
    facts.line21Field2 = t.video.captionsField2;
    for (const DiscStream& s : t.streams)
        if (s.language) facts.languages.emplace(s.entry, *s.language);
    ctx.log("Palette and languages from " + ifo + " (title " + std::to_string(t.number) + ")");
}

} // namespace

TitleChoices titleChoices(const std::string& source) {
    TitleChoices choices;
    const auto disc = discSource(source);
    if (!disc) return choices;
    const std::vector<DiscTitle> titles = readDiscTitles(*disc);
    for (const DiscTitle& t : titles) choices.items.push_back({t.number, chooserText(t), t.angles});
    if (const DiscTitle* main = mainTitle(titles)) choices.longest = main->number;
    return choices;
}

const DiscTitle& chosenTitle(const JobRequest& request, const std::vector<DiscTitle>& titles,
                             const std::vector<RefusedTitle>& refused) {
    const int chosen = request.title;
    const std::string name = namePart(request.source);
    const DiscTitle* t = chosen > 0 ? findTitle(titles, chosen) : mainTitle(titles);
    if (!t) {
        for (const RefusedTitle& r : refused)
            if (r.number == chosen)
                throw Error("Title " + std::to_string(chosen) + " of " + name +
                            " cannot be read (" + r.reason + ")");
        if (titles.empty()) throw Error("No title found in " + name);
        throw Error("Title " + std::to_string(chosen) + " is not on " + name + " (titles " +
                    std::to_string(titles.front().number) + "-" +
                    std::to_string(titles.back().number) + ")");
    }
    return *t;
}

std::optional<std::string> discTitleName(const JobRequest& request) {
    const auto source = discSource(request.source);
    if (!source) return std::nullopt;
    if (!request.menu.empty()) {
        std::string menu = request.menu;
        std::replace(menu.begin(), menu.end(), ':', '_');
        return CutExt(namePart(request.source)) + "_menu_" + menu;
    }
    int number = request.title;
    if (number <= 0) number = chosenTitle(request, readDiscTitles(*source)).number;
    std::string name = CutExt(namePart(request.source)) + "_title" + twoDigits(number);
    if (request.angle > 1) name += "_angle" + std::to_string(request.angle);
    return name;
}

std::vector<int> requestedTitles(const JobRequest& request) {
    if (request.title != kAllTitles) return {request.title};
    const auto source = discSource(request.source);
    if (!source) return {};
    std::vector<int> numbers;
    for (const DiscTitle& t : readDiscTitles(*source)) numbers.push_back(t.number);
    return numbers;
}

std::vector<int> requestedAngles(const JobRequest& request) {
    if (request.angle != kAllAngles) return {request.angle > 0 ? request.angle : 1};
    const auto source = discSource(request.source);
    if (!source) return {1};
    std::vector<int> angles;
    for (int k = 1; k <= chosenTitle(request, readDiscTitles(*source)).angles; ++k)
        angles.push_back(k);
    return angles;
}

void openTitle(JobRunner& ctx, const Title& title, bool boldName) {
    const std::string& path = ctx.job.source;
    const auto source = discSource(path);
    // A file keeps what a playlist said of it; a disc title is read anew.
    if (source || ctx.cat.titleFacts.source != path) ctx.cat.titleFacts.clear();
    ctx.cat.titleFacts.source = path;
    if (!source) {
        const std::string name = escapeMarkup(namePart(path));
        ctx.log("Opening file " + (boldName ? "[b]" + name + "[/b]" : name));
        if (title.parts.size() > 1)
            openParts(ctx, title.parts);
        else
            openSource(ctx, path);
        titleSetFacts(ctx, path);
        return;
    }
    if (!ctx.job.menu.empty()) return openMenu(ctx, *source);
    std::vector<RefusedTitle> refused;
    const std::vector<DiscTitle> titles = readDiscTitles(*source, &refused);
    // Every title is a job of its own (requestedTitles).
    if (ctx.job.title == kAllTitles) throw Error("Choose one title of " + namePart(path));
    const DiscTitle& t = chosenTitle(ctx.job, titles, refused);
    // Every angle is a job of its own (requestedAngles), each with its angle set.
    if (ctx.job.angle == kAllAngles)
        throw Error("Choose one angle of title " + std::to_string(t.number) + " (angles 1-" +
                    std::to_string(t.angles) + ")");
    const int angle = ctx.job.angle > 0 ? ctx.job.angle : 1;
    if (angle > t.angles)
        throw Error("Title " + std::to_string(t.number) + " has no angle " + std::to_string(angle) +
                    " (angles 1-" + std::to_string(t.angles) + ")");

    TitleFacts& facts = ctx.cat.titleFacts;
    facts.dvdVideo = true;
    facts.title = t.number;
    facts.angle = angle;
    facts.length = t.length;
    for (const DiscChapter& c : t.chapters(angle)) facts.chapters.push_back({c.start, ""});
    facts.palette = t.palette;
    facts.line21Field1 = t.video.captionsField1;
    facts.line21Field2 = t.video.captionsField2;
    for (const DiscStream& s : t.streams)
        if (s.language) facts.languages.emplace(s.entry, *s.language);

    const size_t chapters = facts.chapters.size();
    ctx.log("Opening title " + std::to_string(t.number) + " of [b]" + escapeMarkup(namePart(path)) +
            "[/b] (" + std::to_string(chapters) + (chapters == 1 ? " chapter, " : " chapters, ") +
            ctx.formatTime(std::chrono::duration<double>(t.length)) + ")");
    if (t.angles > 1) ctx.log("Angle " + std::to_string(angle) + " of " + std::to_string(t.angles));
    if (source->titleSetsOnly)
        ctx.log("No VIDEO_TS.IFO: title " + std::to_string(t.number) + " and its streams are " +
                infoName(t.titleSet, "IFO") + "'s");
    ctx.io.SourceStream.reset();
    auto stream = std::make_unique<TitleStream>(source->disc, t.titleSet, t.titleCells(angle));
    // The cells the angle plays, where the title's bytes have them, for its clock.
    size_t k = 0;
    for (size_t i = 0; i < t.cells.size(); ++i) {
        const DiscCell& c = t.cells[i];
        if (c.angle != 0 && c.angle != angle) continue;
        if (k >= stream->cellStarts().size()) break;
        const int64_t still = c.still == kStillForever ? 0 : int64_t{c.still} * 90000;
        facts.cells.push_back(
            {stream->cellStarts()[k++], static_cast<int>(i) + 1, still, c.chapter > 0});
    }
    ctx.io.SourceStream = std::move(stream);
}

void captionLanguages(JobRunner& ctx) {
    const auto& languages = ctx.cat.titleFacts.languages;
    if (languages.empty()) return;
    for (const Family family : {Family::Audio, Family::Subpicture}) {
        const auto slots = ctx.cat.slotTable(family);
        for (size_t k = 0; k < 16; ++k) {
            ListedStream& listed = ctx.cat.Listed.at(family, k);
            const auto it = languages.find(slots[k].entry());
            if (listed.present && it != languages.end()) listed.caption += "." + it->second.name;
        }
    }
}

} // namespace qf
