#include "Main.h"

#include <algorithm>
#include <functional>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "AnchorPanel.h"
#include "LogView.h"
#include "Logo.h"
#include "Settings.h"
#include "StatusLine.h"
#include "StreamPage.h"
#include "XplTree.h"
#include "jobs/control.h"
#include "jobs/jobs.h"
#include "model/window.h"
#include "playlist/playlist.h"

namespace qf {

namespace {

// The smallest client size; the window starts at least this big, and wider when the
// status bar needs more room in the font at hand.
constexpr int kClientWidth = 362;
constexpr int kClientHeight = 358;
// The layout below is measured with a 19-pixel status bar and 338 x 203 pages; the
// anchors keep each control's distances to the edges it is tied to from there.
constexpr int kLayoutStatusHeight = 19;
constexpr QSize kPageSize(338, 203);
constexpr int kPageControlWidth = 346;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QPushButton* button(const char* name, const char* caption, const char* hint) {
    auto* b = named(new QPushButton(QString::fromLatin1(caption)), name);
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    b->setAutoDefault(true); // Enter presses the focused button, else "Read EVO"
    return b;
}

QToolButton* browseButton(const char* name, const char* hint) {
    auto* b = named(new QToolButton, name);
    b->setIcon(b->style()->standardIcon(QStyle::SP_DirOpenIcon));
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    return b;
}

QLineEdit* pathEdit(const char* name, const char* hint) {
    auto* e = named(new QLineEdit, name);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    e->setAcceptDrops(false);          // files dropped here are meant for the window
    e->setToolTip(QString::fromLatin1(hint));
    return e;
}

QCheckBox* optionBox(const char* name, const char* caption, const char* hint) {
    auto* c = named(new QCheckBox(QString::fromLatin1(caption)), name);
    c->setToolTip(QString::fromLatin1(hint));
    return c;
}

// The user's time format with the hours, minutes and seconds pattern "h:mm:ss".
TimeSettings localeTimeSettings() {
    TimeSettings ts;
    const QLocale locale;
    const QString format = locale.timeFormat(QLocale::LongFormat);
    for (QChar c : format) {
        if (c.isLetter() || c.isSpace() || c == u'\'') continue;
        if (c.unicode() < 0x80) ts.timeSeparator = static_cast<char>(c.unicode());
        break;
    }
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80)
        ts.decimalSeparator = static_cast<char>(point[0].unicode());
    return ts;
}

void setText(QLineEdit* e, std::string& model) {
    const QString text = q(model);
    if (e->text() == text) return;
    e->setText(text);
    model = e->text().toStdString(); // an edit limited to 5 characters keeps only those
}

void setBox(StreamBox* c, const CheckBox& m) {
    const QSignalBlocker block(c);
    c->setCaption(q(m.caption), q(m.hint));
    c->setEnabled(m.enabled);
    c->setChecked(m.checked);
}

void setChecked(QAbstractButton* b, bool checked) {
    const QSignalBlocker block(b);
    b->setChecked(checked);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Dialogs

QString FileDialogs::chooseSource(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QStringLiteral("Choose the EVO file to demux"), folder);
    // Disc files come in either letter case; offer both on case-sensitive systems.
    dialog.setNameFilters(
        {QStringLiteral("All supported file (*.aob *.evo *.vob *.AOB *.EVO *.VOB)"),
         QStringLiteral("EVOB files (HD DVD) (*.evo *.EVO)"),
         QStringLiteral("AOB files (DVD Audio) (*.aob *.AOB)"),
         QStringLiteral("VOB files (DVD Video) (*.vob *.VOB)")});
    dialog.setDefaultSuffix(QStringLiteral("EVO"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

QString FileDialogs::choosePlaylist(QWidget* parent, const QString& folder, const QString& name) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setNameFilter(QStringLiteral("XPL (VPLST000.XPL)"));
    dialog.setDefaultSuffix(QStringLiteral("xpl"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!name.isEmpty()) dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

QString FileDialogs::chooseFolder(QWidget* parent, const QString& start) {
    // ReadOnly takes away the dialog's button for making a new folder.
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select a directory"), start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
}

// ---------------------------------------------------------------------------------------
// Building the window

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
    resize(kClientWidth, kClientHeight); // widened at the first show, see fitStatusTexts
    move(0, 0);
}

TfMain::~TfMain() = default;

void TfMain::setDialogs(std::unique_ptr<FileDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
}

void TfMain::buildWindow() {
    const QImage logo = logoImage();
    setWindowIcon(QIcon(QStringLiteral(":/quillfen/quillfen.png")));

    auto* client = new AnchorPanel(QSize(kClientWidth, kClientHeight - kLayoutStatusHeight));
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    eEVOfile_ = client->place(pathEdit("eEVOfile", "Drop here the source EVO file"),
                              {8, 8, 249, 21}, kLeft | kTop | kRight);
    eEVOfile_->setWhatsThis(QStringLiteral("You cannot write here directly"));
    bbEVO_ =
        client->place(browseButton("bbEVO", "Browse an EVO file"), {263, 6, 25, 25}, kTop | kRight);
    bCheck_ =
        client->place(button("bCheck", "Read EVO", "Read the source EVO file to detect streams"),
                      {294, 7, 60, 25}, kTop | kRight);
    bCheck_->setDefault(true);
    eXPLfile_ = client->place(pathEdit("eXPLfile", "Drop here the VPLST000.XPL"), {8, 40, 249, 21},
                              kLeft | kTop | kRight);
    bbXPL_ = client->place(browseButton("bbXPL", "Browse the HD DVD disc's VPLST000.XPL"),
                           {263, 38, 25, 25}, kTop | kRight);
    bReadXPL_ =
        client->place(button("bReadXPL", "Read XPL", "Read the XPL file to detect stream infos"),
                      {294, 38, 60, 25}, kTop | kRight);

    PageControl_ =
        client->place(named(new QTabWidget, "PageControl"), {8, 69, kPageControlWidth, 231}, kAll);
    // Slim tabs, so that all six captions fit the window's smallest width.
    PageControl_->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));
    PageControl_->addTab(buildStatusPage(), QStringLiteral("Status"));
    const char* const streamPages[3] = {"Video", "Audio", "Subpicture"};
    for (int family = 0; family < 3; ++family) {
        streamPages_[family] = new StreamPage(family);
        PageControl_->addTab(streamPages_[family], QString::fromLatin1(streamPages[family]));
    }
    PageControl_->addTab(buildXplPage(), QStringLiteral("XPL"));
    PageControl_->addTab(buildOptionPage(), QStringLiteral("Options"));
    for (int i = 1; i <= 3; ++i) PageControl_->setTabToolTip(i, PageControl_->widget(i)->toolTip());

    bDemux_ = client->place(button("bDemux", "Demux", "Demux the source EVO to streams"),
                            {8, 306, 60, 25}, kLeft | kBottom);
    QFont bold = bDemux_->font();
    bold.setBold(true);
    bDemux_->setFont(bold);
    bRebuild_ =
        client->place(button("bRebuild", "Rebuild", nullptr), {74, 306, 60, 25}, kLeft | kBottom);
    imLogo_ = client->place(named(new QLabel, "imLogo"), {153, 304, 125, 31}, kBottom);
    imLogo_->setToolTip(QStringLiteral("HD DVD logo :-)"));
    imLogo_->setPixmap(QPixmap::fromImage(logo));
    imLogo_->setAttribute(Qt::WA_TranslucentBackground);
    bCancel_ = client->place(button("bCancel", "Cancel", "You can stop the actual process"),
                             {294, 306, 60, 25}, kRight | kBottom);
    client->onResized = [this] { FormResize(); };

    StatusBar_ = new StatusLine;
    setStatusBar(StatusBar_);
    for (int i = 0; i < 2; ++i) StatusBar_->setPanel(i, q(ctx_.ui.status[i]));
}

QWidget* TfMain::buildStatusPage() {
    auto* page = named(new AnchorPanel(kPageSize), "tsStatus");
    bClear_ = page->place(button("bClear", "Clear", nullptr), {299, 3, 36, 18}, kTop | kRight);
    reMessage_ = page->place(named(new LogView, "reMessage"), {0, 27, 336, 173}, kAll);
    return page;
}

QWidget* TfMain::buildXplPage() {
    auto* page = named(new AnchorPanel(kPageSize), "tsXPL");
    splXPL_ = page->place(named(new QSplitter(Qt::Horizontal), "splXPL"),
                          {0, 0, kPageSize.width(), kPageSize.height()}, kAll);
    tvXPL_ = new XplTree;
    mXPL_ = named(new QPlainTextEdit, "mXPL");
    mXPL_->setReadOnly(true);
    mXPL_->setAcceptDrops(false);
    mXPL_->setLineWrapMode(QPlainTextEdit::NoWrap);
    mXPL_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mXPL_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mXPL_->setToolTip(QStringLiteral("This is your XPL file (part of it)"));
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(8);
    mXPL_->setFont(mono);
    splXPL_->addWidget(tvXPL_);
    splXPL_->addWidget(mXPL_);
    splXPL_->setCollapsible(0, false);
    splXPL_->setStretchFactor(0, 0);
    splXPL_->setStretchFactor(1, 1);
    return page;
}

QWidget* TfMain::buildOptionPage() {
    auto* page = named(new AnchorPanel(kPageSize), "tsOption");
    auto* gbFile = page->place(named(new QGroupBox, "gbFile"), {3, 0, 320, 78});
    auto put = [gbFile](QWidget* w, QRect r) {
        w->setParent(gbFile);
        w->setGeometry(r);
    };
    // Labels take the width their text needs in the font at hand; the edits follow them.
    auto labelWidth = [](QLabel* l) { return l->fontMetrics().horizontalAdvance(l->text()) + 4; };
    auto* lVideoExt =
        named(new QLabel(QStringLiteral("Extensions (video, audio, subtitle)")), "lVideoExt");
    lVideoExt->setFont(font());
    put(lVideoExt, {8, 16, labelWidth(lVideoExt), 13});
    eVideoExt_ = named(new QLineEdit, "eVideoExt");
    eAudioExt_ = named(new QLineEdit, "eAudioExt");
    eSubExt_ = named(new QLineEdit, "eSubExt");
    eSubExt_->setToolTip(QStringLiteral("This is real .sup format, don't change!"));
    int left = std::clamp(8 + labelWidth(lVideoExt) + 4, 150, 200);
    for (QLineEdit* e : {eVideoExt_, eAudioExt_, eSubExt_}) {
        e->setMaxLength(5);
        put(e, {left, 12, 36, 21});
        left += 40;
    }
    auto* lWorkdir = named(new QLabel(QStringLiteral("Output folder")), "lWorkdir");
    lWorkdir->setFont(font());
    put(lWorkdir, {8, 50, labelWidth(lWorkdir), 13});
    eWorkdir_ = named(new QLineEdit, "eWorkdir");
    eWorkdir_->setToolTip(QStringLiteral("Destination directory for the demuxed streams"));
    eWorkdir_->setPlaceholderText(QStringLiteral("(the source file's folder)"));
    const int workLeft = std::clamp(8 + labelWidth(lWorkdir) + 4, 80, 120);
    put(eWorkdir_, {workLeft, 46, 280 - workLeft, 21});
    bbWorkdir_ = browseButton("bbWorkdir", nullptr);
    put(bbWorkdir_, {286, 44, 25, 25});

    cbContinue_ = optionBox(
        "cbContinue", "Continue with second  EVO",
        "Demux continues with FEATURE_2.EVO (if it exists) after finishing FEATURE_1.EVO");
    cbFastCheck_ = optionBox("cbFastCheck", "Fast EVO checking",
                             "Read EVO checks only the first ~300 MB of the file");
    cbCountFr_ = optionBox("cbCountFr", "Count frames",
                           "Works only if the process hasn't cancelled by Fast EVO checking");
    cbDetails_ = optionBox("cbDetails", "Detailed info", "Detailed information about streams");
    cbAutoRead_ = optionBox("cbAutoRead", "Auto Read EVO", "Read the file automatically");
    // The radio frame moves right (as far as the page allows) when the font needs more
    // room for the check boxes' captions than the 165 pixels they are given.
    int boxWidth = 165;
    for (QCheckBox* c : {cbContinue_, cbFastCheck_, cbCountFr_, cbDetails_, cbAutoRead_}) {
        c->setFont(font());
        boxWidth = std::max(boxWidth, c->sizeHint().width());
    }
    const int rgLeft = std::clamp(8 + boxWidth + 2, 175, kPageSize.width() - 136);
    int top = 86;
    for (QCheckBox* c : {cbContinue_, cbFastCheck_, cbCountFr_, cbDetails_, cbAutoRead_}) {
        page->place(c, {8, top, rgLeft - 10, 17});
        top += 17;
    }
    auto* rgAuto = page->place(named(new QGroupBox, "rgAuto"),
                               {rgLeft, 84, std::min(148, kPageSize.width() - rgLeft), 87});
    rbNoAuto_ = named(new QRadioButton(QStringLiteral("No auto process")), "rbNoAuto");
    rbAutoDemux_ = named(new QRadioButton(QStringLiteral("Auto Demux")), "rbAutoDemux");
    rbAutoRebuild_ = named(new QRadioButton(QStringLiteral("Auto Rebuild")), "rbAutoRebuild");
    top = 16;
    for (QRadioButton* r : {rbNoAuto_, rbAutoDemux_, rbAutoRebuild_}) {
        r->setParent(rgAuto);
        r->setGeometry(10, top, 122, 17);
        top += 22;
    }
    return page;
}

// ---------------------------------------------------------------------------------------
// Handlers

template <class Handler> void TfMain::guarded(Handler&& handler) {
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

template <class Handler> void TfMain::job(Handler&& handler) {
    if (ctx_.busy) return; // a second job never starts inside a running one's event handling
    guarded(std::forward<Handler>(handler));
}

void TfMain::connectHandlers() {
    connect(bbEVO_, &QToolButton::clicked, this, [this] { bbEVOClick(); });
    connect(bbXPL_, &QToolButton::clicked, this, [this] { bbXPLClick(); });
    connect(bbWorkdir_, &QToolButton::clicked, this, [this] { bbWorkdirClick(); });
    connect(bCheck_, &QPushButton::clicked, this, [this] { job([this] { bCheckClick(ctx_); }); });
    connect(bDemux_, &QPushButton::clicked, this, [this] { job([this] { bDemuxClick(ctx_); }); });
    connect(bRebuild_, &QPushButton::clicked, this,
            [this] { job([this] { bRebuildClick(ctx_); }); });
    connect(bReadXPL_, &QPushButton::clicked, this,
            [this] { job([this] { bReadXPLClick(ctx_); }); });
    connect(bCancel_, &QPushButton::clicked, this,
            [this] { guarded([this] { bCancelClick(ctx_); }); });
    connect(bClear_, &QPushButton::clicked, this,
            [this] { guarded([this] { bClearClick(ctx_.ui); }); });

    for (int family = 0; family < 3; ++family) {
        connect(streamPages_[family], &StreamPage::boxClicked, this,
                [this, family](int i, bool on) { streamBoxClick(family, i, on); });
        connect(streamPages_[family], &StreamPage::selectRequested, this,
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
    connect(PageControl_, &QTabWidget::currentChanged, this,
            [this](int page) { ctx_.ui.page = page; });
    connect(splXPL_, &QSplitter::splitterMoved, this,
            [this] { shownTreeWidth_ = ctx_.ui.treeWidth = splXPL_->sizes().value(0); });
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
    job([&] { dropFile(ctx_.ui, paths.first().toStdString()); });
}

void TfMain::chooseAtStart(const QString& path) {
    if (startedUp_)
        WMDropFiles({path});
    else
        pendingChoice_ = path;
}

// ---------------------------------------------------------------------------------------
// Window events

void TfMain::FormActivate() {
    if (startedUp_) return;
    startedUp_ = true;
    guarded([this] {
        RegRead();
        Resetcbs(ctx_.ui);
        ctx_.timeSettings = localeTimeSettings();
    });
    if (!pendingChoice_.isEmpty()) WMDropFiles({std::exchange(pendingChoice_, QString())});
}

void TfMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    setAcceptDrops(true);
    if (startedUp_) return;
    fitStatusTexts();
    // Some window managers never activate a window started in the background; the
    // start-up steps must still run before anything is written back at close.
    QTimer::singleShot(0, this, &TfMain::FormActivate);
}

void TfMain::fitStatusTexts() {
    // The status bar lays out its panels only once they are shown, so this runs at the
    // first show, before the stored size (if any) is applied.
    layout()->activate();
    StatusBar_->layout()->activate();
    const QString progress = QStringLiteral("1392/6022 Mbytes, Remaining time: 0:00:00");
    const int needed =
        std::max({StatusBar_->widthFor(QStringLiteral("Ready"), q(ctx_.ui.status[1])),
                  StatusBar_->widthFor(QStringLiteral("Reading FEATURE_1.EVO "), progress),
                  StatusBar_->widthFor(QStringLiteral("Demuxing FEATURE_1.EVO"), progress)});
    if (needed > width()) resize(needed, height());
}

void TfMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfMain::FormResize() {
    if (!imLogo_) return;
    imLogo_->move(logoLeft(frameGeometry().width()), imLogo_->y());
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (ctx_.busy) {
        // Closing under a running pass: stop it first, close when the job has ended.
        ctx_.CancelFlag = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    if (startedUp_) RegWrite();
    event->accept();
}

void TfMain::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && bCheck_->isEnabled()) {
        bCheck_->click(); // the window's default button
        return;
    }
    QMainWindow::keyPressEvent(event);
}

namespace {
QStringList localFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}
} // namespace

void TfMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfMain::dragMoveEvent(QDragMoveEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    WMDropFiles(files);
}

// ---------------------------------------------------------------------------------------
// Settings

void TfMain::RegRead() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    WindowPlacement p;
    QStringList skipped;
    readSettings(store, ctx_, p, &skipped);
    for (const QString& name : skipped) qWarning("Invalid data type for '%s'", qPrintable(name));
    // Stored sizes are outer sizes; the frame's share is what the window has now.
    const QSize frame = frameGeometry().size() - size();
    if (p.width || p.height)
        resize(p.width ? *p.width - frame.width() : width(),
               p.height ? *p.height - frame.height() : height());
    if (p.top || p.left) move(p.left ? *p.left : x(), p.top ? *p.top : y());
    if (p.state == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (p.state == 1)
        setWindowState(windowState() | Qt::WindowMinimized);
}

void TfMain::RegWrite() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    const int state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    const QString error = writeSettings(store, ctx_, state, frameGeometry());
    // A store that cannot be written must not keep the window from closing.
    if (!error.isEmpty()) qWarning("%s", qPrintable(error));
}

// ---------------------------------------------------------------------------------------
// Model to widgets

void TfMain::showNewLogLines() {
    reMessage_->syncFrom(ctx_.ui.log);
}

void TfMain::showStatus(int panel, const QString& text) {
    StatusBar_->setPanel(panel, text);
}

bool TfMain::askYesNo(const QString& question) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kAppTitle), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TfMain::showError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    this);
    box.exec();
}

void TfMain::syncFromModel() {
    auto& ui = ctx_.ui;
    const bool idle = !ctx_.busy;

    if (eEVOfile_->text() != q(ui.eEVOfile)) eEVOfile_->setText(q(ui.eEVOfile));
    if (eXPLfile_->text() != q(ui.eXPLfile)) eXPLfile_->setText(q(ui.eXPLfile));
    bbEVO_->setEnabled(idle);
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
            setBox(streamPages_[family]->box(i), boxes[family][i]);

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

    for (int i = 0; i < 2; ++i)
        if (StatusBar_->panelText(i) != q(ui.status[i])) showStatus(i, q(ui.status[i]));
    if (StatusBar_->toolTip() != q(ui.statusHint)) StatusBar_->setToolTip(q(ui.statusHint));
    showNewLogLines();

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
