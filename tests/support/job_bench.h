#pragma once
// The jobs driven the way a front end drives them, without a window: a request the test
// sets up, a Read that ticks every stream it lists (as a window does), and a playlist
// reading whose listed streams are ticked with their names.
#include <optional>
#include <string>

#include "engine/paths.h"
#include "jobs/jobs.h"
#include "jobs/runner.h"
#include "playlist/playlist.h"
#include "support/recording_events.h"

namespace qf::test {

// The stream files alone, named by the extension settings, subpictures as .sup records:
// what most job tests look at. The files for muxers have tests of their own.
inline void streamFilesOnly(OutputChoices& o) {
    o.mkvmergeOptions = false;
    o.chapters = false;
    o.subFormat = OutputChoices::SubFormat::Sup;
}

struct JobBench {
    RecordingEvents host;
    JobRunner ctx{host};
    JobRequest request;

    void choose(const std::string& source, const std::string& workdir = "") {
        request.source = source;
        request.workdir = workdir;
    }
    JobOutcome read() {
        request.selection = {};
        const JobOutcome o = readJob(ctx, request);
        request.selection = listedSelection(host.listed);
        return o;
    }
    JobOutcome demux() { return demuxJob(ctx, request); }
    JobOutcome rebuild() { return rebuildJob(ctx, request); }
    // A job, then the one the auto mode asks for after it.
    void runWithFollowUp(JobKind kind, std::optional<JobKind> autoJob) {
        const JobOutcome o = kind == JobKind::Read ? read() : runJobOfKind(ctx, kind, request);
        if (const auto next = followUpJob(kind, o, autoJob)) runJobOfKind(ctx, *next, request);
    }
    // Reads `path` for the chosen source and hands it on; a title it lists becomes the
    // selection, its streams ticked under their names.
    Playlist readPlaylistOf(const std::string& path) {
        Playlist p;
        const PlaylistRequest r{path, namePart(path), namePart(request.source), request.source};
        runJob(ctx, request, [&] {
            readPlaylist(ctx, r, p);
            takePlaylist(ctx, p, request.source);
        });
        if (!p.listed || p.titles.empty()) return p;
        request.selection = {};
        for (const PlaylistTitle& t : p.titles)
            for (const PlaylistStream& s : t.streams) {
                const Family f = s.kind == PlaylistStream::Kind::Video   ? Family::Video
                                 : s.kind == PlaylistStream::Kind::Audio ? Family::Audio
                                                                         : Family::Subpicture;
                // The playlist's first video alone, as a window ticks it.
                if (s.slot() < (f == Family::Video ? 1u : 16u))
                    request.selection.at(f, s.slot()) = {true, s.name};
            }
        return p;
    }
};

} // namespace qf::test
