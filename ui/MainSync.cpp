// The model copied into the widgets, touching only what changed.
#include <algorithm>
#include <initializer_list>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>

#include "LogView.h"
#include "Main.h"
#include "MainParts.h"
#include "OutputOptions.h"
#include "StatusLine.h"
#include "StreamPage.h"
#include "XplTree.h"

namespace qf {

namespace {

void setText(QLineEdit* e, std::string& model) {
    const QString text = q(model);
    if (e->text() == text) return;
    e->setText(text);
    model = e->text().toStdString(); // an edit limited to 5 characters keeps only those
}

void setBox(StreamBox* c, const CheckBox& m, bool idle) {
    const QSignalBlocker block(c);
    c->setCaption(q(m.caption), q(m.hint));
    // While a job runs its selection is fixed: what the user sees is what it writes.
    c->setEnabled(m.enabled && idle);
    c->setChecked(m.checked);
}

void setChecked(QAbstractButton* b, bool checked) {
    const QSignalBlocker block(b);
    b->setChecked(checked);
}

} // namespace

void TfMain::showNewLogLines() {
    reMessage_->syncFrom(ctx_.ui.log);
}

void TfMain::showStatus(int panel, const QString& text) {
    StatusBar_->setPanel(panel, text);
}

void TfMain::syncFromModel() {
    auto& ui = ctx_.ui;
    const bool idle = !jobRunning();

    if (eEVOfile_->text() != q(ui.eEVOfile)) eEVOfile_->setText(q(ui.eEVOfile));
    if (eXPLfile_->text() != q(ui.eXPLfile)) eXPLfile_->setText(q(ui.eXPLfile));
    bbEVO_->setEnabled(idle);
    bbDisc_->setEnabled(idle);
    bbXPL_->setEnabled(idle);
    bCheck_->setEnabled(ui.bCheck && idle);
    bReadXPL_->setEnabled(ui.bReadXPL && idle);
    bDemux_->setEnabled(ui.bDemux && idle);
    bRebuild_->setEnabled(ui.bRebuild && idle);
    bCancel_->setEnabled(ui.bCancel);
    if (PageControl_->currentIndex() != ui.page) {
        const QSignalBlocker block(PageControl_);
        PageControl_->setCurrentIndex(ui.page);
        ui.page = PageControl_->currentIndex();
    }

    const CheckBox* const boxes[3] = {ui.cbVideo.data(), ui.cbAudio.data(), ui.cbSub.data()};
    for (int family = 0; family < 3; ++family)
        for (int i = 0; i < streamPages_[family]->count(); ++i)
            setBox(streamPages_[family]->box(i), boxes[family][i], idle);
    fitCaptions();
    // ... and so are the options the jobs read.
    for (QWidget* w : std::initializer_list<QWidget*>{
             eVideoExt_, eAudioExt_, eSubExt_, eWorkdir_, bbWorkdir_, cbContinue_, cbFastCheck_,
             cbCountFr_, cbDetails_, rbNoAuto_, rbAutoDemux_, rbAutoRebuild_, outputOptions_})
        w->setEnabled(idle);

    setText(eVideoExt_, ui.eVideoExt);
    setText(eAudioExt_, ui.eAudioExt);
    setText(eSubExt_, ui.eSubExt);
    if (eWorkdir_->text() != q(ui.eWorkdir)) eWorkdir_->setText(q(ui.eWorkdir));
    setChecked(cbContinue_, ui.cbContinue);
    setChecked(cbFastCheck_, ui.cbFastCheck);
    setChecked(cbCountFr_, ui.cbCountFr);
    setChecked(cbDetails_, ui.cbDetails);
    setChecked(cbAutoRead_, ui.cbAutoRead);
    if (ui.rbNoAuto)
        setChecked(rbNoAuto_, true);
    else if (ui.rbAutoDemux)
        setChecked(rbAutoDemux_, true);
    else if (ui.rbAutoRebuild)
        setChecked(rbAutoRebuild_, true);
    outputOptions_->sync();

    for (int i = 0; i < 2; ++i)
        if (StatusBar_->panelText(i) != q(ui.status[i])) showStatus(i, q(ui.status[i]));
    StatusBar_->setHint(q(ui.statusHint));
    showNewLogLines();

    syncTitles();
    syncTree();
    syncXplText();
    mXPL_->setVisible(ui.mXPLVisible);
    syncTreeWidth();
}

void TfMain::syncTree() {
    auto& ui = ctx_.ui;
    if (!tvXPL_->showNodes(ui.tvXPL)) return;
    // A listed title opens wide enough for its longest entry, up to half the page.
    if (std::none_of(ui.tvXPL.begin(), ui.tvXPL.end(),
                     [](const TreeNode& n) { return n.expanded; }))
        return;
    const int half = (PageControl_->width() - (kPageControlWidth - kPageSize.width())) / 2;
    ui.treeWidth = std::max(ui.treeWidth, std::min(tvXPL_->neededWidth(), half));
}

void TfMain::fitCaptions() {
    // A caption is the stream's output name: the window widens (and stays at least that
    // wide) until every caption shows whole, as far as the screen allows; beyond that
    // it is elided in the middle, with the whole caption as the hint.
    int page = 0;
    for (const StreamPage* p : streamPages_) page = std::max(page, p->widthForWholeCaptions());
    // Beside the page: the window less what the page control gives its pages (a hidden
    // page may not have been laid out yet).
    const int extra = width() - (PageControl_->width() - (kPageControlWidth - kPageSize.width()));
    const QScreen* screen = this->screen();
    const int room = screen ? screen->availableGeometry().width() : page + extra;
    const int wanted = std::min(page + extra, room);
    if (wanted <= captionWidth_ && wanted <= width()) return;
    captionWidth_ = std::max(captionWidth_, wanted);
    setMinimumWidth(std::max(minimumWidth(), std::min(wanted, room)));
    if (width() < wanted) resize(wanted, height());
}

void TfMain::syncTitles() {
    const auto& ui = ctx_.ui;
    QStringList items;
    int current = -1;
    for (size_t k = 0; k < ui.cmbTitle.size(); ++k) {
        items << q(ui.cmbTitle[k].text);
        if (ui.cmbTitle[k].number == ui.title) current = static_cast<int>(k);
    }
    QStringList shown;
    for (int i = 0; i < cmbTitle_->count(); ++i) shown << cmbTitle_->itemText(i);
    const QSignalBlocker block(cmbTitle_);
    if (shown != items) {
        cmbTitle_->clear();
        cmbTitle_->addItems(items);
    }
    if (cmbTitle_->currentIndex() != current) cmbTitle_->setCurrentIndex(current);
    cmbTitle_->setEnabled(!jobRunning());
    lTitle_->setVisible(!items.isEmpty());
    cmbTitle_->setVisible(!items.isEmpty());
    // The angles of the chosen title, beside it, when it has more than one.
    const int angles = current >= 0 ? ui.cmbTitle[static_cast<size_t>(current)].angles : 1;
    {
        const QSignalBlocker blockAngles(cmbAngle_);
        if (cmbAngle_->count() != angles) {
            cmbAngle_->clear();
            for (int k = 1; k <= angles; ++k) cmbAngle_->addItem(QString::number(k));
        }
        cmbAngle_->setCurrentIndex(std::clamp(ui.angle, 1, angles) - 1);
    }
    cmbAngle_->setEnabled(!jobRunning());
    cmbAngle_->setVisible(angles > 1);
    const QString choice =
        ui.title > 0 && !items.isEmpty()
            ? QStringLiteral("Title %1").arg(ui.title) +
                  (ui.angle > 1 ? QStringLiteral(", angle %1").arg(ui.angle) : QString())
            : QString();
    if (lTitleChoice_->text() != choice) lTitleChoice_->setText(choice);
    lTitleChoice_->setToolTip(current >= 0 ? items[current] : QString());
    lTitleChoice_->setVisible(!choice.isEmpty());
}

void TfMain::syncXplText() {
    if (shownXpl_ == ctx_.ui.mXPL) return;
    shownXpl_ = ctx_.ui.mXPL;
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(shownXpl_.size()));
    for (const auto& l : shownXpl_) lines << q(l);
    mXPL_->setPlainText(lines.join(u'\n'));
}

void TfMain::syncTreeWidth() {
    if (shownTreeWidth_ == ctx_.ui.treeWidth) return;
    shownTreeWidth_ = ctx_.ui.treeWidth;
    const int total = std::max(splXPL_->width(), kPageSize.width());
    splXPL_->setSizes(
        {shownTreeWidth_, std::max(1, total - shownTreeWidth_ - splXPL_->handleWidth())});
}

} // namespace qf
