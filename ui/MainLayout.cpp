// The window's controls: what each one is, where it sits and which edges it keeps to.
#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "AnchorPanel.h"
#include "LogView.h"
#include "Logo.h"
#include "Main.h"
#include "MainParts.h"
#include "OutputOptions.h"
#include "StatusLine.h"
#include "StreamPage.h"
#include "XplTree.h"

namespace qf {

namespace {

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QPushButton* button(const char* name, const char* caption, const char* hint) {
    auto* b = named(new QPushButton(QString::fromLatin1(caption)), name);
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    // Enter presses no button, not even the focused one: the source and playlist edits
    // read their file on Enter, and nothing else may act on it ("Clear" least of all).
    b->setAutoDefault(false);
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

} // namespace

void TfMain::buildWindow() {
    setWindowIcon(QIcon(QStringLiteral(":/quillfen/quillfen.png")));

    auto* client = new AnchorPanel(QSize(kClientWidth, kClientHeight - kLayoutStatusHeight));
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    eEVOfile_ = client->place(pathEdit("eEVOfile", "Drop here the source EVO file"),
                              {8, 8, 218, 21}, kLeft | kTop | kRight);
    eEVOfile_->setWhatsThis(QStringLiteral("You cannot write here directly"));
    bbEVO_ =
        client->place(browseButton("bbEVO", "Browse an EVO file"), {232, 6, 25, 25}, kTop | kRight);
    // A disc is a folder, which the file dialog cannot pick.
    bbDisc_ = client->place(browseButton("bbDisc", "Open disc folder\u2026"), {263, 6, 25, 25},
                            kTop | kRight);
    bbDisc_->setIcon(bbDisc_->style()->standardIcon(QStyle::SP_DriveDVDIcon));
    bCheck_ =
        client->place(button("bCheck", "&Read EVO", "Read the source EVO file to detect streams"),
                      {294, 7, 60, 25}, kTop | kRight);
    eXPLfile_ = client->place(pathEdit("eXPLfile", "Drop here the VPLST000.XPL"), {8, 40, 249, 21},
                              kLeft | kTop | kRight);
    bbXPL_ = client->place(browseButton("bbXPL", "Browse the HD DVD disc's VPLST000.XPL"),
                           {263, 38, 25, 25}, kTop | kRight);
    bReadXPL_ =
        client->place(button("bReadXPL", "Read &XPL", "Read the XPL file to detect stream infos"),
                      {294, 38, 60, 25}, kTop | kRight);

    PageControl_ =
        client->place(named(new QTabWidget, "PageControl"), {8, 69, kPageControlWidth, 231}, kAll);
    // Slim tabs, so that all six captions fit the window's smallest width.
    PageControl_->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));
    // Alt and the marked letter opens a page; none clashes with a button's.
    PageControl_->addTab(buildStatusPage(), QStringLiteral("&Status"));
    const char* const streamPages[3] = {"&Video", "&Audio", "S&ubpicture"};
    for (int family = 0; family < 3; ++family) {
        streamPages_[family] = new StreamPage(family);
        PageControl_->addTab(streamPages_[family], QString::fromLatin1(streamPages[family]));
    }
    PageControl_->addTab(buildXplPage(), QStringLiteral("X&PL"));
    PageControl_->addTab(buildOptionPage(), QStringLiteral("&Options"));
    for (int i = 1; i <= 3; ++i) PageControl_->setTabToolTip(i, PageControl_->widget(i)->toolTip());
    // Seen from every page: the disc title whose streams the pages list.
    lTitleChoice_ = named(new QLabel, "lTitleChoice");
    lTitleChoice_->setContentsMargins(0, 0, 4, 0);
    lTitleChoice_->hide();
    PageControl_->setCornerWidget(lTitleChoice_, Qt::TopRightCorner);

    bDemux_ = client->place(button("bDemux", "&Demux", "Demux the source EVO to streams"),
                            {8, 306, 60, 25}, kLeft | kBottom);
    QFont bold = bDemux_->font();
    bold.setBold(true);
    bDemux_->setFont(bold);
    bRebuild_ =
        client->place(button("bRebuild", "Re&build", nullptr), {74, 306, 60, 25}, kLeft | kBottom);
    imLogo_ = client->place(named(new LogoLabel, "imLogo"), {153, 304, 125, 31}, kBottom);
    imLogo_->setToolTip(QStringLiteral("HD DVD logo :-)"));
    bCancel_ = client->place(button("bCancel", "&Cancel", "You can stop the actual process"),
                             {294, 306, 60, 25}, kRight | kBottom);
    client->onResized = [this] { FormResize(); };

    StatusBar_ = new StatusLine;
    setStatusBar(StatusBar_);
    for (int i = 0; i < 2; ++i) StatusBar_->setPanel(i, q(ctx_.ui.status[i]));
}

QWidget* TfMain::buildStatusPage() {
    auto* page = named(new AnchorPanel(kPageSize), "tsStatus");
    bClear_ = page->place(button("bClear", "C&lear", nullptr), {299, 3, 36, 18}, kTop | kRight);
    // Shown only when the source is a DVD-Video disc.
    lTitle_ = page->place(named(new QLabel(QStringLiteral("&Title")), "lTitle"), {2, 3, 30, 18},
                          kLeft | kTop);
    cmbTitle_ = page->place(named(new QComboBox, "cmbTitle"), {34, 1, 220, 22}, kLeft | kTop);
    cmbTitle_->setToolTip(QStringLiteral("The title of the disc to read"));
    lTitle_->setBuddy(cmbTitle_);
    cmbAngle_ = page->place(named(new QComboBox, "cmbAngle"), {257, 1, 40, 22}, kLeft | kTop);
    cmbAngle_->setToolTip(QStringLiteral("The angle of the title to read"));
    lTitle_->hide();
    cmbTitle_->hide();
    cmbAngle_->hide();
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
    outputOptions_ = page->place(new OutputOptions(ctx_.ui.outputChoices, font()),
                                 {0, 170, kPageSize.width(), kPageSize.height() - 170});
    return page;
}

} // namespace qf
