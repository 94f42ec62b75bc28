#pragma once
// Everything the window shows that is not drawing, as plain data: the front ends mirror
// it, and the handlers (model/window.h) and the jobs change it.
#include <array>
#include <string>
#include <vector>

#include "engine/request.h"

namespace qf {

struct CheckBox {
    std::string caption;
    std::string hint;
    bool enabled = false;
    bool checked = false;
};

struct TreeNode {
    std::string text;
    std::vector<TreeNode> children;
    bool expanded = false; // children shown

    bool operator==(const TreeNode&) const = default;
};

// Everything the window shows that is not drawing. Field names are the control names.
struct WindowModel {
    // Source and playlist
    std::string eEVOfile;
    // The title chooser, filled when the source is a DVD-Video disc: one item per title
    // ("1 — 0:00:30, 3 chapters"), and the title and angle the jobs read (0: the longest).
    struct TitleItem {
        int number = 0;
        std::string text;
        int angles = 1; // the angle chooser offers 1..angles
    };
    std::vector<TitleItem> cmbTitle;
    int title = 0, angle = 1;
    std::string eXPLfile = "VPLST000.XPL";
    // Buttons (enabled state)
    bool bCheck = false, bReadXPL = false, bDemux = false, bRebuild = false, bCancel = false;
    int page = 0; // PageControl: 0 Status, 1 Video, 2 Audio, 3 Subpicture, 4 XPL, 5 Options

    // Stream check boxes (Video, Audio, Subpicture pages)
    std::array<CheckBox, 8> cbVideo;
    std::array<CheckBox, 16> cbAudio;
    std::array<CheckBox, 16> cbSub;
    // The box of slot k of a stream family: 0 video, 1 audio, 2 subpicture.
    CheckBox& box(Family family, size_t k) {
        return family == Family::Video   ? cbVideo[k]
               : family == Family::Audio ? cbAudio[k]
                                         : cbSub[k];
    }
    const CheckBox& box(Family family, size_t k) const {
        return family == Family::Video   ? cbVideo[k]
               : family == Family::Audio ? cbAudio[k]
                                         : cbSub[k];
    }

    // Options page
    std::string eVideoExt = "mpv", eAudioExt = "mpa", eSubExt = "sup";
    std::string eWorkdir;
    OutputChoices outputChoices; // the Options page's
    bool cbContinue = true, cbFastCheck = true, cbCountFr = true, cbDetails = true,
         cbAutoRead = true;
    bool rbNoAuto = true, rbAutoDemux = false, rbAutoRebuild = false;

    // Status page and status bar (panel texts without the leading blank)
    std::vector<std::string> log;        // marked-up lines, see markup.h
    std::vector<std::string> clearedLog; // what "Clear" removed, until the next job starts
    std::array<std::string, 2> status = {"Ready", "Select or drop an EVO file to demux"};
    std::string statusHint = " Select or drop an EVO file to demux";

    // XPL page
    std::vector<TreeNode> tvXPL = {
        {"Video", {}}, {"Audio", {}}, {"Subpicture", {}}, {"Chapter", {}}};
    std::vector<std::string> mXPL;
    bool mXPLVisible = true;
    int treeWidth = 96;

    // Initial folders / file names of the dialogs
    std::string odEVOfileDir, odXPLDir, odXPLFileName;

    // Path bookkeeping of the source and the playlist, kept whenever their edits change.
    std::string EVOdir, EVOname, XPLdir, XPLname;
    // The stem of the output names: the source name without extension, and the second
    // part's joined by "_" once a job continues onto it (the jobs set it anew).
    std::string BaseName;

    WindowModel();
};

} // namespace qf
