#pragma once
// The playlist on the window: the "XPL" page's tree and text view, and the stream boxes of
// the title the playlist lists.
#include <string>
#include <vector>

#include "model/window_model.h"
#include "playlist/playlist.h"

namespace qf {

class JobRunner;

// The tree of a reading: "Info" (the playlist title, each title's name and duration),
// "Video", "Audio", "Subtitle" and "Chapter" with what the listed title holds, all
// expanded; the empty initial tree when no title is listed.
std::vector<TreeNode> playlistTree(const Playlist& playlist);

// Shows a reading: the text view gets its listing (and is shown); when a title is listed,
// the tree becomes its tree and the stream boxes are reset, then each listed stream that
// has a box is enabled, ticked and captioned with its name. Otherwise the tree and the
// boxes keep what they showed.
void showPlaylist(WindowModel& ui, const Playlist& playlist);

// "Read XPL": reads the file named by ui.eXPLfile for the source ui.EVOname and shows it.
// On an error what was read so far is shown, "Read XPL" is enabled, the file is closed
// and the qf::Error is rethrown. Does nothing while a pass owns the source stream
// (ctx.busy).
// Returns the reading (an empty one while a pass owns the source).
Playlist bReadXPLClick(JobRunner& ctx, WindowModel& ui);

// For the command line: choose `source` (when not empty; it decides which title is
// listed), then the playlist, as the window would, and read it. Returns the reading (an
// empty one while a pass owns the source); the window model shows it as after "Read XPL".
Playlist ReadPlaylist(JobRunner& ctx, WindowModel& ui, const std::string& playlist,
                      const std::string& source = "");

} // namespace qf
