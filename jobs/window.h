#pragma once
// The window's non-drawing behaviour: path bookkeeping, check boxes, cancel.
#include <string>

namespace qf {

class Context;

// The name without its extension (the part from the last "." after the last separator).
std::string CutExt(const std::string& name);
// The path of the next numbered part of a title (FEATURE_1 -> FEATURE_2) when it exists.
std::string getsecond(const std::string& path);
// Folder part (with trailing separator) and name part of a path.
std::string folderPart(const std::string& path);
std::string namePart(const std::string& path);
// Upper-cased extension of a path (".EVO"), empty when there is none.
std::string upperExt(const std::string& path);

// Derive EVOdir/EVOname/BaseName (and the disc playlist) from ui.eEVOfile.
void EVOadj(Context& ctx);
// Derive XPLdir/XPLname (and the disc source folder) from ui.eXPLfile.
void XPLadj(Context& ctx);
// True when ui.eXPLfile names a playlist file that exists: "Read XPL" is enabled only
// then (a bare "VPLST000.XPL" proposed for a source outside a disc folder is no file).
bool playlistChosen(const Context& ctx);
// Reset all forty stream check boxes, then apply the enabling rule.
void Resetcbs(Context& ctx);
// The enabling rule of "Demux" and "Rebuild"; runs after every change of a box's tick.
void cbVideoClick(Context& ctx);
// Tick or untick a stream box as the user does: family 0 video, 1 audio, 2 subpicture.
void setStreamChecked(Context& ctx, int family, int index, bool checked);
// "Select all" / "Select none" of a stream page: ticks or unticks every enabled box of
// the family, then applies the enabling rule once.
void selectStreams(Context& ctx, int family, bool checked);
// "Cancel": asks first while a writing pass runs.
void bCancelClick(Context& ctx);
// Select one of the three auto radio buttons (0 none, 1 demux, 2 rebuild).
void setAutoMode(Context& ctx, int mode);
// Dropped files: only the first counts; .EVO/.VOB/.AOB become the source, .XPL the playlist.
void dropFile(Context& ctx, const std::string& path);
// "Clear": empties the log.
void bClearClick(Context& ctx);
// An error that ended a handler, besides its message box: its text as the log's last
// line, in red, and an idle status bar ("Ready", no progress) instead of the step it
// stopped at.
void logError(Context& ctx, const std::string& text);

} // namespace qf
