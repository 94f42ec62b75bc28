// TfMain's construction and the wiring of its controls to the handlers.
#include "Main.h"

#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>

#include "MainParts.h"
#include "StreamPage.h"
#include "jobs/jobs.h"
#include "model/window.h"

namespace qf {

TfMain::TfMain(QWidget* parent)
    : QMainWindow(parent), host_(*this), ctx_(host_), dialogs_(std::make_unique<FileDialogs>()) {
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
    buildWindow();
    connectHandlers();
    syncFromModel();
    setMinimumSize(kClientWidth, kClientHeight);
    resize(kClientWidth, kClientHeight); // widened and placed at the first show
}

void TfMain::setDialogs(std::unique_ptr<FileDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
}

void TfMain::connectHandlers() {
    connect(bbEVO_, &QToolButton::clicked, this, [this] { bbEVOClick(); });
    connect(bbDisc_, &QToolButton::clicked, this, [this] { bbDiscClick(); });
    connect(bbXPL_, &QToolButton::clicked, this, [this] { bbXPLClick(); });
    connect(bbWorkdir_, &QToolButton::clicked, this, [this] { bbWorkdirClick(); });
    connect(bCheck_, &QPushButton::clicked, this, [this] { startWorkerJob(JobKind::Read); });
    connect(bDemux_, &QPushButton::clicked, this, [this] { startWorkerJob(JobKind::Demux); });
    connect(bRebuild_, &QPushButton::clicked, this, [this] { startWorkerJob(JobKind::Rebuild); });
    connect(bReadXPL_, &QPushButton::clicked, this, [this] { readPlaylistClick(); });
    connect(bCancel_, &QPushButton::clicked, this, [this] { guarded([this] { requestStop(); }); });
    connect(bClear_, &QPushButton::clicked, this,
            [this] { guarded([this] { bClearClick(ctx_.ui); }); });

    // Enter reads what the edit names; elsewhere it does nothing (no default button).
    connect(eEVOfile_, &QLineEdit::returnPressed, this, [this] {
        if (bCheck_->isEnabled()) bCheck_->click();
    });
    connect(eXPLfile_, &QLineEdit::returnPressed, this, [this] {
        if (bReadXPL_->isEnabled()) bReadXPL_->click();
    });
    // Escape is Cancel, question included; Ctrl+Z brings a cleared log back.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (bCancel_->isEnabled()) bCancel_->click();
    });
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            [this] { undoClearClick(); });
    // Ctrl+O a file, Ctrl+Shift+O a disc folder; Ctrl+V takes a path from the clipboard
    // (an edit that has the focus keeps its own paste).
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
            [this] { bbEVOClick(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this),
            &QShortcut::activated, this, [this] { bbDiscClick(); });
    connect(new QShortcut(QKeySequence::Paste, this), &QShortcut::activated, this,
            [this] { pasteSource(); });

    for (const Family family : kFamilies) {
        StreamPage* page = streamPages_[familyIndex(family)];
        connect(page, &StreamPage::boxClicked, this,
                [this, family](int i, bool on) { streamBoxClick(family, i, on); });
        connect(page, &StreamPage::selectRequested, this,
                [this, family](bool on) { guarded([&] { selectStreams(ctx_.ui, family, on); }); });
    }

    auto& ui = ctx_.ui;
    auto option = [this](QCheckBox* box, bool& field) {
        connect(box, &QCheckBox::clicked, this, [this, &field](bool on) {
            field = on;
            syncFromModel();
        });
    };
    option(cbContinue_, ui.cbContinue);
    option(cbFastCheck_, ui.cbFastCheck);
    option(cbCountFr_, ui.cbCountFr);
    option(cbDetails_, ui.cbDetails);
    option(cbAutoRead_, ui.cbAutoRead);
    auto edit = [this](QLineEdit* e, std::string& field) {
        connect(e, &QLineEdit::textEdited, this,
                [&field](const QString& t) { field = t.toStdString(); });
    };
    edit(eVideoExt_, ui.eVideoExt);
    edit(eAudioExt_, ui.eAudioExt);
    edit(eSubExt_, ui.eSubExt);
    edit(eWorkdir_, ui.eWorkdir);
    int mode = 0;
    for (QRadioButton* r : {rbNoAuto_, rbAutoDemux_, rbAutoRebuild_}) {
        connect(r, &QRadioButton::clicked, this, [this, mode] {
            setAutoMode(ctx_.ui, mode);
            syncFromModel();
        });
        ++mode;
    }
    // Another title is read at once: the stream pages never list one title's streams
    // while another is chosen.
    connect(cmbTitle_, &QComboBox::activated, this, [this](int i) { titleChosen(i); });
    connect(cmbAngle_, &QComboBox::activated, this, [this](int i) { angleChosen(i); });
    connect(PageControl_, &QTabWidget::currentChanged, this,
            [this](int page) { ctx_.ui.page = page; });
    connect(splXPL_, &QSplitter::splitterMoved, this,
            [this] { shownTreeWidth_ = ctx_.ui.treeWidth = splXPL_->sizes().value(0); });
}

} // namespace qf
