#pragma once
// The files of a DVD-Video disc as libdvdread will open them, checked before it does: a
// FIFO, device or socket (or a link to one) would block or misbehave in its open() or
// reads, so a disc holding one is refused at once.
#include <map>
#include <string>

namespace qf {

struct DiscFiles {
    // For a disc folder: per title set (0 for the video manager) whose IFO and BUP both
    // exist as files but cannot be opened, the system's reason for the IFO, as
    // "\"path\": reason".
    std::map<int, std::string> unopenable;
};

// "VIDEO_TS.IFO" for title set 0, "VTS_07_0.BUP" for title set 7 and "BUP".
std::string infoName(int set, const char* ext);

// Checks the image, or every VIDEO_TS.* and VTS_nn_n.* file libdvdread looks for in a disc
// folder (in the folder, its VIDEO_TS and its video_ts, any letter case). Throws
// Error("Cannot open disc "disc". "path": Not a regular file") for one that is not a
// regular file, and Error("Cannot open disc "disc". "path": reason") when neither
// VIDEO_TS.IFO nor VIDEO_TS.BUP can be opened (unless neither is there but a title set's IFO
// or BUP is: a partial copy).
DiscFiles checkDiscFiles(const std::string& disc);

} // namespace qf
