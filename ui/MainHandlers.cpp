// The handlers behind the browse buttons, the stream boxes, dropped files, Cancel, Read XPL
// and the log's undo, and the boundary every handler runs inside: what the core throws
// ends up in a message box.
#include <exception>
#include <string>
#include <string_view>

#include <algorithm>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "LogView.h"
#include "Main.h"
#include "MainParts.h"
#include "engine/markup.h"
#include "jobs/control.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "model/playlist_view.h"
#include "model/window.h"

namespace qf {

namespace {

std::string counted(size_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// What Read XPL found for the source, for the status bar: the title that plays it, or the
// log's reason why none was listed.
std::string playlistOutcome(const Session& ctx, const Playlist& playlist, size_t logBefore) {
    const auto& ui = ctx.ui;
    const std::string_view none = "No title in the playlist plays ";
    for (size_t i = logBefore; i < ui.log.size(); ++i)
        if (std::string_view(ui.log[i]).substr(0, none.size()) == none)
            return parseMarkup(ui.log[i]).plain;
    if (ui.EVOname.empty()) return "No source file chosen: the whole playlist is shown";
    std::string title;
    size_t parts = 0, chapters = 0;
    for (const PlaylistTitle& t : playlist.titles) {
        if (title.empty() && t.tagged) title = t.id.empty() ? t.name : t.id;
        parts += t.clips.size();
        chapters += t.chapters.size();
    }
    return "Title '" + title + "' \xE2\x80\x94 " + counted(parts, "part") + ", " +
           counted(chapters, "chapter");
}

} // namespace

void TfMain::guarded(const std::function<void()>& handler) {
    std::string error;
    try {
        handler();
    } catch (const std::exception& e) {
        error = e.what();
        logError(ctx_, error);
    }
    syncFromModel();
    if (!error.empty()) showError(q(error));
    if (closePending_ && !jobRunning()) QTimer::singleShot(0, this, &QWidget::close);
}

void TfMain::job(const std::function<void()>& handler) {
    if (jobRunning()) return; // one job at a time
    guarded(handler);
}

void TfMain::startJob(const std::function<void()>& handler) {
    job([&] {
        ctx_.ui.clearedLog.clear();
        handler();
    });
}

bool TfMain::requestStop(bool closing) {
    if (!jobRunning() || askingToStop_) return false;
    askingToStop_ = true;
    const bool stop = bCancelClick(ctx_, stopQuestion(closing).toStdString());
    askingToStop_ = false;
    return stop;
}

QString TfMain::stopQuestion(bool closing) const {
    const bool rebuild = runningKind_ == JobKind::Rebuild;
    // Closing asks about both: a Yes there ends the job and the window.
    if (closing)
        return rebuild ? QStringLiteral("Stop rebuilding and close the window?")
                       : QStringLiteral("Stop demuxing and close the window?");
    return rebuild ? QStringLiteral("Are you sure to stop rebuilding?")
                   : QStringLiteral("Are you sure to stop demuxing?");
}

void TfMain::undoClearClick() {
    guarded([this] {
        if (undoClear(ctx_.ui)) reMessage_->clearLog(); // shown anew from the model
    });
}

void TfMain::readPlaylistClick() {
    startJob([this] {
        auto& ui = ctx_.ui;
        // The file may have gone since it was chosen.
        if (!playlistChosen(ui)) {
            ui.bReadXPL = false;
            ctx_.log("The playlist [b]" + escapeMarkup(ui.eXPLfile) +
                     "[/b] no longer exists; drop or browse it again.");
            ctx_.slog("The playlist no longer exists", 1);
            return;
        }
        const size_t before = ui.log.size();
        const Playlist playlist = bReadXPLClick(ctx_, ctx_.ui);
        ctx_.slog(playlistOutcome(ctx_, playlist, before), 1);
    });
}

void TfMain::streamBoxClick(Family family, int index, bool checked) {
    guarded([&] { setStreamChecked(ctx_.ui, family, index, checked); });
}

void TfMain::bbEVOClick() {
    if (jobRunning()) return;
    const QString path = dialogs_->chooseSource(this, q(ctx_.ui.EVOdir));
    if (path.isEmpty()) return; // cancelled: nothing changes, nothing starts
    sourceChosen(path);
}

void TfMain::bbDiscClick() {
    if (jobRunning()) return;
    // Where the last source was: its disc folder is likely a sibling.
    const QString path = dialogs_->chooseDiscFolder(this, q(ctx_.ui.EVOdir));
    if (path.isEmpty()) return;
    sourceChosen(path);
}

void TfMain::sourceChosen(const QString& path) {
    job([&] {
        auto& ui = ctx_.ui;
        const std::string source = discFolderSource(path.toStdString());
        ui.eEVOfile = source;
        EVOadj(ctx_.ui);
        Resetcbs(ctx_.ui); // the last source's streams are not this one's
        titlesChanged();
        syncFromModel();
        if (ui.bCheck) bCheck_->setFocus();
        if (!ui.cbAutoRead) return;
        startWorkerJob(JobKind::Read);
    });
}

void TfMain::pasteSource() {
    if (jobRunning()) return;
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    QString path;
    if (clip && clip->hasUrls() && !clip->urls().isEmpty() && clip->urls().first().isLocalFile())
        path = clip->urls().first().toLocalFile();
    else if (clip && clip->hasText())
        path = clip->text().trimmed();
    if (path.startsWith(QStringLiteral("file://"))) path = QUrl(path).toLocalFile();
    // One path only: a line break or a NUL is no file name anyone pastes on purpose.
    if (path.isEmpty() || path.contains(u'\n') || path.contains(QChar(0))) return;
    sourceChosen(path);
}

void TfMain::titleChosen(int index) {
    auto& ui = ctx_.ui;
    if (jobRunning() || index < 0 || index >= static_cast<int>(ui.cmbTitle.size())) return;
    const int number = ui.cmbTitle[static_cast<size_t>(index)].number;
    if (number == ui.title && ui.angle == 1 &&
        std::any_of(ui.cbVideo.begin(), ui.cbVideo.end(),
                    [](const CheckBox& b) { return b.enabled; }))
        return; // that title's streams are listed already
    ui.title = number;
    ui.angle = 1;
    startWorkerJob(JobKind::Read);
}

void TfMain::angleChosen(int index) {
    auto& ui = ctx_.ui;
    if (jobRunning() || index < 0 || index + 1 == ui.angle) return;
    ui.angle = index + 1;
    startWorkerJob(JobKind::Read);
}

void TfMain::bbXPLClick() {
    if (jobRunning()) return;
    const QString path =
        dialogs_->choosePlaylist(this, q(ctx_.ui.XPLdir), q(ctx_.ui.odXPLFileName));
    if (path.isEmpty()) return;
    job([&] {
        ctx_.ui.eXPLfile = path.toStdString();
        XPLadj(ctx_.ui);
    });
}

void TfMain::bbWorkdirClick() {
    const QString current = q(ctx_.ui.eWorkdir);
    const bool exists = !current.isEmpty() && QDir(current).exists();
    const QString chosen = dialogs_->chooseFolder(this, exists ? current : QString());
    guarded([&] {
        if (!chosen.isEmpty()) {
            QString folder = QDir::cleanPath(chosen);
            if (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
            ctx_.ui.eWorkdir = folder.toStdString();
        } else if (!exists) {
            ctx_.ui.eWorkdir.clear(); // a folder that is not there is not kept
        }
    });
}

void TfMain::WMDropFiles(const QStringList& paths) {
    if (paths.isEmpty() || paths.first().isEmpty()) return;
    job([&] {
        const std::string before = ctx_.ui.eEVOfile;
        dropFile(ctx_.ui, paths.first().toStdString());
        if (ctx_.ui.eEVOfile == before) return;
        Resetcbs(ctx_.ui); // the last source's streams are not this one's
        titlesChanged();
    });
}

void TfMain::titlesChanged() {
    // A disc that cannot be read still leaves the source chosen; the error says why.
    ctx_.ui.cmbTitle.clear();
    syncTitles();
    TitlesAdj(ctx_.ui);
}

void TfMain::chooseAtStart(const QString& path) {
    if (startedUp_)
        WMDropFiles({path});
    else
        pendingChoice_ = path;
}

} // namespace qf
