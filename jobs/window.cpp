#include "jobs/window.h"

#include <algorithm>
#include <cctype>

#include "engine/context.h"
#include "engine/markup.h"
#include "engine/stream.h"

namespace qf {

namespace {
constexpr char kSep = '/';
const std::string kDiscVideoDir = std::string("HVDVD_TS") + kSep;
const std::string kDiscPlaylistDir = std::string("ADV_OBJ") + kSep;
const std::string kPlaylistName = "VPLST000.XPL";

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

std::string folderPart(const std::string& path) {
    auto sep = path.rfind(kSep);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string namePart(const std::string& path) {
    auto sep = path.rfind(kSep);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string CutExt(const std::string& name) {
    auto dot = name.rfind('.');
    auto sep = name.rfind(kSep);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return name;
    return name.substr(0, dot);
}

std::string upperExt(const std::string& path) {
    std::string ext = path.substr(CutExt(path).size());
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string getsecond(const std::string& path) {
    const std::string dir = folderPart(path), name = namePart(path);
    auto us = name.find('_');
    if (us == std::string::npos) return "";
    auto bumpable = [](char c) { return c >= '0' && c <= '8'; };
    std::string candidate;
    if (us + 1 < name.size() && bumpable(name[us + 1])) {
        candidate = dir + name.substr(0, us + 1) + static_cast<char>(name[us + 1] + 1) +
                    name.substr(us + 2, 255);
    } else if (us > 0 && bumpable(name[us - 1])) {
        candidate = dir + name.substr(0, us - 1) + static_cast<char>(name[us - 1] + 1) +
                    name.substr(us, 255);
    } else {
        return "";
    }
    return fileExists(candidate) ? candidate : "";
}

void EVOadj(Context& ctx) {
    auto& ui = ctx.ui;
    ui.bCheck = !ui.eEVOfile.empty();
    ctx.EVOname = namePart(ui.eEVOfile);
    ctx.BaseName = CutExt(ctx.EVOname);
    ctx.EVOdir = folderPart(ui.eEVOfile);
    ui.odEVOfileDir = ctx.EVOdir;
    ui.eXPLfile = kPlaylistName;
    if (endsWith(ctx.EVOdir, kDiscVideoDir)) {
        ctx.XPLdir =
            ctx.EVOdir.substr(0, ctx.EVOdir.size() - kDiscVideoDir.size()) + kDiscPlaylistDir;
        ui.odXPLDir = ctx.XPLdir;
        ctx.XPLname = kPlaylistName;
        ui.odXPLFileName = ctx.XPLname;
        ui.eXPLfile = ctx.XPLdir + ctx.XPLname;
    }
    ui.bReadXPL = playlistChosen(ctx);
}

bool playlistChosen(const Context& ctx) {
    const std::string& path = ctx.ui.eXPLfile;
    return !folderPart(path).empty() && fileExists(path);
}

void XPLadj(Context& ctx) {
    auto& ui = ctx.ui;
    ctx.XPLname = namePart(ui.eXPLfile);
    ctx.XPLdir = folderPart(ui.eXPLfile);
    ui.bReadXPL = playlistChosen(ctx);
    if (endsWith(ctx.XPLdir, kDiscPlaylistDir)) {
        ctx.EVOdir =
            ctx.XPLdir.substr(0, ctx.XPLdir.size() - kDiscPlaylistDir.size()) + kDiscVideoDir;
        ui.odEVOfileDir = ctx.EVOdir;
    }
}

void cbVideoClick(Context& ctx) {
    auto& ui = ctx.ui;
    auto ticked = [](const auto& boxes) {
        return std::any_of(boxes.begin(), boxes.end(), [](const CheckBox& b) { return b.checked; });
    };
    ui.bDemux = ticked(ui.cbVideo) || ticked(ui.cbAudio) || ticked(ui.cbSub);
    if (upperExt(ui.eEVOfile) == ".EVO") ui.bRebuild = ui.bDemux;
}

void Resetcbs(Context& ctx) {
    auto reset = [](auto& boxes, const char* caption) {
        for (auto& b : boxes) {
            b.enabled = false;
            b.caption = caption;
            b.checked = false;
        }
    };
    reset(ctx.ui.cbVideo, "No video stream");
    reset(ctx.ui.cbAudio, "No audio stream");
    reset(ctx.ui.cbSub, "No subpicture");
    cbVideoClick(ctx);
}

void setStreamChecked(Context& ctx, int family, int index, bool checked) {
    auto& ui = ctx.ui;
    CheckBox* box = nullptr;
    if (family == 0 && index >= 0 && index < 8)
        box = &ui.cbVideo[index];
    else if (family == 1 && index >= 0 && index < 16)
        box = &ui.cbAudio[index];
    else if (family == 2 && index >= 0 && index < 16)
        box = &ui.cbSub[index];
    if (!box) return;
    box->checked = checked;
    cbVideoClick(ctx);
}

void selectStreams(Context& ctx, int family, bool checked) {
    auto apply = [checked](auto& boxes) {
        for (CheckBox& b : boxes)
            if (b.enabled) b.checked = checked;
    };
    if (family == 0)
        apply(ctx.ui.cbVideo);
    else if (family == 1)
        apply(ctx.ui.cbAudio);
    else if (family == 2)
        apply(ctx.ui.cbSub);
    cbVideoClick(ctx);
}

void bCancelClick(Context& ctx) {
    if (!ctx.WriteMode || ctx.host.askYesNo("Are you sure to stop demuxing?"))
        ctx.CancelFlag = true;
}

void setAutoMode(Context& ctx, int mode) {
    ctx.ui.rbNoAuto = mode == 0;
    ctx.ui.rbAutoDemux = mode == 1;
    ctx.ui.rbAutoRebuild = mode == 2;
}

void dropFile(Context& ctx, const std::string& path) {
    const std::string ext = upperExt(path);
    if (ext == ".EVO" || ext == ".VOB" || ext == ".AOB") {
        ctx.ui.eEVOfile = path;
        EVOadj(ctx);
    } else if (ext == ".XPL") {
        ctx.ui.eXPLfile = path;
        XPLadj(ctx);
    }
}

void bClearClick(Context& ctx) {
    ctx.ui.log.clear();
}

void logError(Context& ctx, const std::string& text) {
    ctx.log("[c:0000FF]" + escapeMarkup(text) + "[/c:0000FF]"); // colours are BBGGRR
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
}

} // namespace qf
