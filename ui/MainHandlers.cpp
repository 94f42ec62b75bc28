// The handlers behind the browse buttons, the stream boxes and dropped files, and the
// boundary every handler runs inside: what the core throws ends up in a message box.
#include <exception>
#include <string>

#include <QDir>
#include <QPushButton>
#include <QTimer>

#include "Main.h"
#include "MainParts.h"
#include "jobs/control.h"
#include "jobs/disc_title.h"
#include "jobs/jobs.h"
#include "model/window.h"

namespace qf {

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
    if (closePending_ && !ctx_.busy) QTimer::singleShot(0, this, &QWidget::close);
}

void TfMain::job(const std::function<void()>& handler) {
    if (ctx_.busy) return; // a second job never starts inside a running one's event handling
    guarded(handler);
}

void TfMain::streamBoxClick(int family, int index, bool checked) {
    guarded([&] { setStreamChecked(ctx_.ui, family, index, checked); });
}

void TfMain::bbEVOClick() {
    if (ctx_.busy) return;
    const QString path = dialogs_->chooseSource(this, q(ctx_.ui.EVOdir));
    if (path.isEmpty()) return; // cancelled: nothing changes, nothing starts
    job([&] {
        auto& ui = ctx_.ui;
        ui.eEVOfile = path.toStdString();
        EVOadj(ctx_.ui);
        titlesChanged();
        syncFromModel();
        if (ui.bCheck) bCheck_->setFocus();
        Resetcbs(ctx_.ui);
        if (ui.cbAutoRead) bCheckClick(ctx_);
    });
}

void TfMain::bbXPLClick() {
    if (ctx_.busy) return;
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
        if (ctx_.ui.eEVOfile != before) titlesChanged();
    });
}

void TfMain::titlesChanged() {
    // A disc that cannot be read still leaves the source chosen; the error says why.
    ctx_.ui.cmbTitle.clear();
    syncTitles();
    TitlesAdj(ctx_);
}

void TfMain::chooseAtStart(const QString& path) {
    if (startedUp_)
        WMDropFiles({path});
    else
        pendingChoice_ = path;
}

} // namespace qf
