#include "model/window.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "engine/dvd_disc.h"
#include "engine/paths.h"
#include "engine/stream.h"

namespace qf {

namespace {
const std::string kDiscVideoDir = "HVDVD_TS/";
const std::string kDiscPlaylistDir = "ADV_OBJ/";
const std::string kPlaylistName = "VPLST000.XPL";

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

void EVOadj(WindowModel& ui) {
    ui.bCheck = !ui.eEVOfile.empty();
    ui.EVOname = namePart(ui.eEVOfile);
    ui.BaseName = CutExt(ui.EVOname);
    ui.EVOdir = folderPart(ui.eEVOfile);
    ui.odEVOfileDir = ui.EVOdir;
    ui.eXPLfile = kPlaylistName;
    if (endsWith(ui.EVOdir, kDiscVideoDir)) {
        ui.XPLdir = ui.EVOdir.substr(0, ui.EVOdir.size() - kDiscVideoDir.size()) + kDiscPlaylistDir;
        ui.odXPLDir = ui.XPLdir;
        ui.XPLname = kPlaylistName;
        ui.odXPLFileName = ui.XPLname;
        ui.eXPLfile = ui.XPLdir + ui.XPLname;
    }
    ui.bReadXPL = playlistChosen(ui);
}

bool playlistChosen(const WindowModel& ui) {
    const std::string& path = ui.eXPLfile;
    return !folderPart(path).empty() && fileExists(path);
}

void XPLadj(WindowModel& ui) {
    ui.XPLname = namePart(ui.eXPLfile);
    ui.XPLdir = folderPart(ui.eXPLfile);
    ui.bReadXPL = playlistChosen(ui);
    if (endsWith(ui.XPLdir, kDiscPlaylistDir)) {
        ui.EVOdir = ui.XPLdir.substr(0, ui.XPLdir.size() - kDiscPlaylistDir.size()) + kDiscVideoDir;
        ui.odEVOfileDir = ui.EVOdir;
    }
}

void cbVideoClick(WindowModel& ui) {
    auto ticked = [](const auto& boxes) {
        return std::any_of(boxes.begin(), boxes.end(), [](const CheckBox& b) { return b.checked; });
    };
    ui.bDemux = ticked(ui.cbVideo) || ticked(ui.cbAudio) || ticked(ui.cbSub);
    // HD DVD objects can be rebuilt, and the titles of a DVD-Video disc.
    if (upperExt(ui.eEVOfile) == ".EVO" || !ui.cmbTitle.empty()) ui.bRebuild = ui.bDemux;
}

void Resetcbs(WindowModel& ui) {
    auto reset = [](auto& boxes, const char* caption) {
        for (auto& b : boxes) {
            b.enabled = false;
            b.caption = caption;
            b.checked = false;
        }
    };
    reset(ui.cbVideo, "No video stream");
    reset(ui.cbAudio, "No audio stream");
    reset(ui.cbSub, "No subpicture");
    cbVideoClick(ui);
}

void setStreamChecked(WindowModel& ui, Family family, int index, bool checked) {
    CheckBox* box = nullptr;
    if (family == Family::Video && index >= 0 && index < 8)
        box = &ui.cbVideo[index];
    else if (family == Family::Audio && index >= 0 && index < 16)
        box = &ui.cbAudio[index];
    else if (family == Family::Subpicture && index >= 0 && index < 16)
        box = &ui.cbSub[index];
    if (!box) return;
    box->checked = checked;
    cbVideoClick(ui);
}

void selectStreams(WindowModel& ui, Family family, bool checked) {
    auto apply = [checked](auto& boxes) {
        for (CheckBox& b : boxes)
            if (b.enabled) b.checked = checked;
    };
    if (family == Family::Video)
        apply(ui.cbVideo);
    else if (family == Family::Audio)
        apply(ui.cbAudio);
    else if (family == Family::Subpicture)
        apply(ui.cbSub);
    cbVideoClick(ui);
}

void setAutoMode(WindowModel& ui, int mode) {
    ui.rbNoAuto = mode == 0;
    ui.rbAutoDemux = mode == 1;
    ui.rbAutoRebuild = mode == 2;
}

std::string discFolderSource(const std::string& chosen) {
    std::string path = sourcePath(chosen);
    if (!isFolder(path) || discSource(path)) return path;
    // The HD DVD video folder itself, picked one level too deep.
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (namePart(path) == "HVDVD_TS" && fileExists(path + "/FEATURE_1.EVO"))
        return path + "/FEATURE_1.EVO";
    throw Error("No DVD-Video or HD DVD disc in \"" + path +
                "\": it holds no VIDEO_TS or HVDVD_TS folder.");
}

void dropFile(WindowModel& ui, const std::string& dropped) {
    const std::string path = discFolderSource(dropped);
    const std::string ext = upperExt(path);
    if (ext == ".EVO" || ext == ".VOB" || ext == ".AOB" || ext == ".ISO" || ext == ".IFO" ||
        isFolder(path)) {
        ui.eEVOfile = path;
        EVOadj(ui);
    } else if (ext == ".XPL") {
        ui.eXPLfile = path;
        XPLadj(ui);
    }
}

void bClearClick(WindowModel& ui) {
    if (ui.log.empty()) return; // a second Clear keeps what the first one can bring back
    ui.clearedLog = std::move(ui.log);
    ui.log.clear();
}

bool undoClear(WindowModel& ui) {
    if (ui.clearedLog.empty()) return false;
    ui.clearedLog.insert(ui.clearedLog.end(), ui.log.begin(), ui.log.end());
    ui.log = std::move(ui.clearedLog);
    ui.clearedLog.clear();
    return true;
}

} // namespace qf
