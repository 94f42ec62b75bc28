#pragma once
// The window's non-drawing behaviour on its model: path bookkeeping, the stream check
// boxes and their enabling rule, the auto modes, dropped files.
#include <string>
#include <string_view>

#include "model/window_model.h"

namespace qf {

// Derive EVOdir/EVOname/BaseName (and the disc playlist) from ui.eEVOfile.
void EVOadj(WindowModel& ui);
// Derive XPLdir/XPLname (and the disc source folder) from ui.eXPLfile.
void XPLadj(WindowModel& ui);
// True when ui.eXPLfile names a playlist file that exists: "Read XPL" is enabled only
// then (a bare "VPLST000.XPL" proposed for a source outside a disc folder is no file).
bool playlistChosen(const WindowModel& ui);
// Reset all forty stream check boxes, then apply the enabling rule.
void Resetcbs(WindowModel& ui);
// The enabling rule of "Demux" and "Rebuild"; runs after every change of a box's tick.
void cbVideoClick(WindowModel& ui);
// Tick or untick a stream box as the user does: family 0 video, 1 audio, 2 subpicture.
void setStreamChecked(WindowModel& ui, Family family, int index, bool checked);
// "Select all" / "Select none" of a stream page: ticks or unticks every enabled box of
// the family, then applies the enabling rule once.
void selectStreams(WindowModel& ui, Family family, bool checked);
// Select one of the three auto radio buttons (0 none, 1 demux, 2 rebuild).
void setAutoMode(WindowModel& ui, int mode);
// Dropped files: only the first counts; .EVO/.VOB/.AOB, a DVD-Video disc (a folder, an
// .ISO image, an .IFO) and an HD DVD disc folder become the source, .XPL the playlist.
// A folder that holds no disc is refused (discFolderSource's error).
void dropFile(WindowModel& ui, const std::string& path);
// The source a chosen folder stands for: an HD DVD disc folder (holding HVDVD_TS) its
// first feature file, a DVD-Video disc folder (holding VIDEO_TS, or a VIDEO_TS folder)
// itself; any other path as it is. Throws Error for a folder that holds no disc.
std::string discFolderSource(const std::string& path);
// "Clear": empties the log; its lines are kept for undoClear until the next job starts
// (which empties ui.clearedLog).
void bClearClick(WindowModel& ui);
// Brings back the lines the last "Clear" removed, before any written since. False when
// there is nothing to bring back.
bool undoClear(WindowModel& ui);

} // namespace qf
