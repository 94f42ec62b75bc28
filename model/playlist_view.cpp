#include "model/playlist_view.h"

#include <utility>

#include "jobs/runner.h"
#include "model/session.h"
#include "model/window.h"

namespace qf {

namespace {

using Kind = PlaylistStream::Kind;

TreeNode node(std::string text) {
    return {std::move(text), {}, true};
}

void markBox(WindowModel& ui, const PlaylistStream& stream) {
    const size_t slot = stream.slot();
    CheckBox* box = nullptr;
    if (stream.kind == Kind::Video)
        box = slot == 0 ? &ui.cbVideo[0] : nullptr; // the playlist's first video alone
    else if (slot < 16)
        box = stream.kind == Kind::Audio ? &ui.cbAudio[slot] : &ui.cbSub[slot];
    if (!box) return;
    box->enabled = true;
    box->checked = true;
    box->caption = stream.name;
    if (stream.kind != Kind::Video) box->hint = stream.name;
    cbVideoClick(ui);
}

Playlist readAndShow(JobRunner& ctx, WindowModel& ui) {
    Playlist playlist;
    // A running pass owns SourceStream and ReadBuffer: the reading waits for the next click.
    try {
        runJob(ctx, jobRequest(ui), [&] {
            ui.bReadXPL = false;
            ui.page = 4;
            ui.mXPL.clear();
            ui.mXPLVisible = false; // shown once at the end, not redrawn per line
            readPlaylist(ctx, {ui.eXPLfile, ui.XPLname, ui.EVOname, ui.eEVOfile}, playlist);
            takePlaylist(ctx, playlist, ui.eEVOfile);
            showPlaylist(ui, playlist);
            ui.bReadXPL = playlistChosen(ui);
        });
    } catch (...) {
        // What was read up to the error.
        takePlaylist(ctx, playlist, ui.eEVOfile);
        showPlaylist(ui, playlist);
        ui.bReadXPL = playlistChosen(ui);
        throw;
    }
    return playlist;
}

} // namespace

std::vector<TreeNode> playlistTree(const Playlist& playlist) {
    if (!playlist.listed)
        return {{"Video", {}}, {"Audio", {}}, {"Subpicture", {}}, {"Chapter", {}}};
    std::vector<TreeNode> tree = {node("Info"), node("Video"), node("Audio"), node("Subtitle"),
                                  node("Chapter")};
    auto& info = tree[0].children;
    if (!playlist.title.empty()) info.push_back({"Title: " + playlist.title, {}});
    for (const PlaylistTitle& title : playlist.titles) {
        if (title.tagged) {
            info.push_back({"Name: " + title.name, {}});
            info.push_back({"Duration: " + title.duration, {}});
        }
        for (const PlaylistStream& s : title.streams) {
            const size_t root = s.kind == Kind::Video ? 1 : s.kind == Kind::Audio ? 2 : 3;
            tree[root].children.push_back({s.name, {}});
        }
        for (const PlaylistChapter& c : title.chapters)
            tree[4].children.push_back({c.start + ": " + c.name, {}});
    }
    return tree;
}

void showPlaylist(WindowModel& ui, const Playlist& playlist) {
    ui.mXPL = playlist.listing;
    ui.mXPLVisible = true;
    if (!playlist.listed) return;
    ui.tvXPL = playlistTree(playlist);
    Resetcbs(ui);
    for (const PlaylistTitle& title : playlist.titles)
        for (const PlaylistStream& stream : title.streams) markBox(ui, stream);
}

Playlist bReadXPLClick(JobRunner& ctx, WindowModel& ui) {
    return readAndShow(ctx, ui);
}

Playlist ReadPlaylist(JobRunner& ctx, WindowModel& ui, const std::string& playlist,
                      const std::string& source) {
    if (!source.empty()) {
        ui.eEVOfile = source;
        EVOadj(ui);
    }
    ui.eXPLfile = playlist;
    XPLadj(ui);
    return readAndShow(ctx, ui);
}

} // namespace qf
