// The window's controls, the logo placement, the enabling rule, dropping and browsing.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "LogView.h"
#include "StreamPage.h"
#include "gui_support.h"

using namespace qf;
using namespace qf::test;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { sandbox_ = std::make_unique<SettingsSandbox>(); }
    void cleanup() { sandbox_.reset(); }

    void controlsHaveTheirCaptionsHintsAndInitialStates() {
        auto w = startedWindow();
        QCOMPARE(w->windowTitle(), QString("Quillfen 0.621b"));
        struct Button {
            const char* name;
            const char* caption;
            const char* hint;
        };
        for (const Button& b :
             {Button{"bCheck", "Read EVO", "Read the source EVO file to detect streams"},
              Button{"bReadXPL", "Read XPL", "Read the XPL file to detect stream infos"},
              Button{"bDemux", "Demux", "Demux the source EVO to streams"},
              Button{"bRebuild", "Rebuild", ""},
              Button{"bCancel", "Cancel", "You can stop the actual process"}}) {
            auto* button = control<QPushButton>(*w, b.name);
            QVERIFY2(button, b.name);
            // The caption with its mnemonic: Alt and the marked letter press it.
            QCOMPARE(QString(button->text()).remove(u'&'), QString(b.caption));
            QVERIFY2(button->text().contains(u'&'), b.name);
            QCOMPARE(button->toolTip(), QString(b.hint));
            QVERIFY2(!button->isEnabled(), b.name);
        }
        QVERIFY(control<QPushButton>(*w, "bDemux")->font().bold());
        for (auto* button : w->findChildren<QPushButton*>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->text()));
        QCOMPARE(control<QToolButton>(*w, "bbEVO")->toolTip(), QString("Browse an EVO file"));
        QCOMPARE(control<QToolButton>(*w, "bbXPL")->toolTip(),
                 QString("Browse the HD DVD disc's VPLST000.XPL"));
        QVERIFY(control<QToolButton>(*w, "bbWorkdir"));

        auto* eEVOfile = control<QLineEdit>(*w, "eEVOfile");
        QVERIFY(eEVOfile->isReadOnly());
        QVERIFY(!(eEVOfile->focusPolicy() & Qt::TabFocus));
        QCOMPARE(eEVOfile->toolTip(), QString("Drop here the source EVO file"));
        QCOMPARE(eEVOfile->text(), QString());
        auto* eXPLfile = control<QLineEdit>(*w, "eXPLfile");
        QVERIFY(eXPLfile->isReadOnly());
        QCOMPARE(eXPLfile->text(), QString("VPLST000.XPL"));
        QCOMPARE(eXPLfile->toolTip(), QString("Drop here the VPLST000.XPL"));
        QCOMPARE(control<QLabel>(*w, "imLogo")->toolTip(), QString("HD DVD logo :-)"));
        QVERIFY(!control<QLabel>(*w, "imLogo")->pixmap().isNull());

        auto* pages = control<QTabWidget>(*w, "PageControl");
        QCOMPARE(pages->count(), 6);
        const char* names[] = {"tsStatus",     "tsVideo", "tsAudio",
                               "tsSubpicture", "tsXPL",   "tsOption"};
        const char* captions[] = {"Status", "Video", "Audio", "Subpicture", "XPL", "Options"};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), QString(names[i]));
            QCOMPARE(pages->tabText(i).remove(u'&'), QString(captions[i]));
        }
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(pages->widget(1)->toolTip(), QString("Check the desired video stream"));
        QCOMPARE(pages->widget(2)->toolTip(), QString("Check the desired audio streams"));
        QCOMPARE(pages->widget(3)->toolTip(), QString("Check the desired subpicture streams"));
        QCOMPARE(control<QPushButton>(*w, "bClear")->text(), QString("C&lear"));
        QVERIFY(control<LogView>(*w, "reMessage")->isReadOnly());

        auto* tree = control<QTreeWidget>(*w, "tvXPL");
        QCOMPARE(tree->topLevelItemCount(), 4);
        QCOMPARE(tree->topLevelItem(2)->text(0), QString("Subpicture"));
        QCOMPARE(tree->toolTip(), QString("Infos from your XPL file"));
        QCOMPARE(tree->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(control<QSplitter>(*w, "splXPL"));
        QCOMPARE(control<QPlainTextEdit>(*w, "mXPL")->toolTip(),
                 QString("This is your XPL file (part of it)"));

        QCOMPARE(control<QLineEdit>(*w, "eVideoExt")->text(), QString("mpv"));
        QCOMPARE(control<QLineEdit>(*w, "eAudioExt")->text(), QString("mpa"));
        QCOMPARE(control<QLineEdit>(*w, "eSubExt")->text(), QString("sup"));
        QCOMPARE(control<QLineEdit>(*w, "eSubExt")->maxLength(), 5);
        QCOMPARE(control<QLineEdit>(*w, "eSubExt")->toolTip(),
                 QString("This is real .sup format, don't change!"));
        QCOMPARE(control<QLabel>(*w, "lVideoExt")->text(),
                 QString("Extensions (video, audio, subtitle)"));
        QCOMPARE(control<QLabel>(*w, "lWorkdir")->text(), QString("Output folder"));
        QCOMPARE(control<QLineEdit>(*w, "eWorkdir")->placeholderText(),
                 QString("(the source file's folder)"));
        QVERIFY(control<QGroupBox>(*w, "gbFile")->isAncestorOf(control<QLineEdit>(*w, "eWorkdir")));
        QCOMPARE(control<QCheckBox>(*w, "cbContinue")->text(),
                 QString("Continue with second  EVO"));
        for (const char* name :
             {"cbContinue", "cbFastCheck", "cbCountFr", "cbDetails", "cbAutoRead"})
            QVERIFY2(control<QCheckBox>(*w, name)->isChecked(), name);
        QVERIFY(control<QRadioButton>(*w, "rbNoAuto")->isChecked());
        QVERIFY(!control<QRadioButton>(*w, "rbAutoDemux")->isChecked());
        QVERIFY(control<QGroupBox>(*w, "rgAuto")
                    ->isAncestorOf(control<QRadioButton>(*w, "rbAutoRebuild")));

        auto* bar = control<QStatusBar>(*w, "StatusBar");
        QCOMPARE(bar->toolTip(), QString(" Select or drop an EVO file to demux"));
        QCOMPARE(control<QLabel>(*w, "StatusPanel0")->text(), QString(" Ready"));
    }

    void streamBoxesAreResetAtStartUp() {
        auto w = startedWindow();
        auto* v7 = control<QCheckBox>(*w, "cbVideo7");
        QCOMPARE(v7->text(), QString("No video stream"));
        QVERIFY(!v7->isEnabled() && !v7->isChecked());
        QCOMPARE(control<QCheckBox>(*w, "cbAudio15")->text(), QString("No audio stream"));
        QCOMPARE(control<QCheckBox>(*w, "cbSub00")->text(), QString("No subpicture"));
        QCOMPARE(control<QCheckBox>(*w, "cbSub00")->toolTip(), QString());
        QCOMPARE(control<QCheckBox>(*w, "cbSub01")->toolTip(),
                 QString("Check the desired subpicture streams"));
        QCOMPARE(control<QCheckBox>(*w, "cbSub07")->geometry().topLeft(), QPoint(9, 165));
    }

    // Two columns share the page's width. A caption is an output name: the window widens
    // (and stays that wide) until it shows whole; one wider than the screen allows is
    // elided in the middle, with the whole caption in the hint.
    void streamBoxesWidenAndElideLongCaptions() {
        auto w = startedWindow();
        control<QTabWidget>(*w, "PageControl")->setCurrentIndex(2);
        auto* page = control<QWidget>(*w, "tsAudio");
        auto* left = control<StreamBox>(*w, "cbAudio00");
        auto* right = control<StreamBox>(*w, "cbAudio08");
        const std::string caption = "DTS-HD.8ch.stream.00.Director Commentary";
        w->context().ui.cbAudio[0] = {caption, "", true, true};
        w->syncFromModel();
        for (int extra : {0, 300}) {
            w->resize(w->minimumWidth() + extra, w->height());
            QTRY_COMPARE(right->geometry().right(), page->width() - 34);
            QCOMPARE(right->y(), 9);
            QCOMPARE(left->width(), right->width());
            QCOMPARE(right->x(), left->geometry().right() + 17);
            QCOMPARE(left->shownText(), QString::fromStdString(caption)); // whole at any width
            QCOMPARE(left->toolTip(), QString());
        }

        const std::string huge = "DTS-HD.8ch.stream.00." + std::string(200, 'x') + ".Commentary";
        w->context().ui.cbAudio[0].caption = huge;
        w->syncFromModel();
        w->resize(w->minimumWidth(), w->height());
        QCOMPARE(w->minimumWidth(), w->screen()->availableGeometry().width()); // as wide as it gets
        QTRY_VERIFY(left->shownText() != left->text());
        const QString shown = left->shownText(); // both ends kept, the middle elided
        QVERIFY2(shown.startsWith("DTS-") && shown.contains(u'\u2026') && shown.endsWith("tary"),
                 qPrintable(shown));
        QCOMPARE(left->text(), QString::fromStdString(huge)); // the caption itself is data
        QCOMPARE(left->toolTip(), QString::fromStdString(huge));
    }

    void readXplNeedsAnExistingPlaylist() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("HVDVD_TS");
        QDir(dir.path()).mkpath("ADV_OBJ");
        auto w = startedWindow();
        auto* read = control<QPushButton>(*w, "bReadXPL");
        const QString source = dir.path() + "/HVDVD_TS/FEATURE_1.EVO";
        w->WMDropFiles({source});
        QVERIFY(!read->isEnabled()); // the disc has no playlist
        const QString playlist = dir.path() + "/ADV_OBJ/VPLST000.XPL";
        QFile(playlist).open(QIODevice::WriteOnly);
        w->WMDropFiles({source});
        QVERIFY(read->isEnabled());
        // Gone by the time of the click: no error box, the button off, the reason logged.
        QVERIFY(QFile::remove(playlist));
        auto box = answerNextMessageBox(QMessageBox::Ok);
        read->click();
        QCOMPARE(box->seen, 0);
        QVERIFY(!read->isEnabled());
        QCOMPARE(control<LogView>(*w, "reMessage")->plainText().section(u'\n', -1),
                 "The playlist " + playlist + " no longer exists; drop or browse it again.");
        QCOMPARE(control<QLabel>(*w, "StatusPanel1")->text(),
                 QString(" The playlist no longer exists"));
        QFile(playlist).open(QIODevice::WriteOnly);
        w->WMDropFiles({source});
        QVERIFY(read->isEnabled());
        w->WMDropFiles({dir.path() + "/MOVIE.EVO"}); // outside a disc folder
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), QString("VPLST000.XPL"));
        QVERIFY(!read->isEnabled());
    }

    void logoFollowsTheWindowWidth_data() {
        QTest::addColumn<int>("outerWidth");
        QTest::addColumn<int>("left");
        QTest::newRow("370") << 370 << 153;
        QTest::newRow("432") << 432 << 153;
        QTest::newRow("433") << 433 << 153;
        QTest::newRow("600") << 600 << 237;
    }
    void logoFollowsTheWindowWidth() {
        QFETCH(int, outerWidth);
        QFETCH(int, left);
        auto w = startedWindow();
        // The rule for every width, also those below what the progress texts need in
        // this font (a smaller one needs less).
        w->setMinimumWidth(0);
        const int frame = w->frameGeometry().width() - w->width();
        w->resize(outerWidth - frame, 420);
        QTRY_COMPARE(w->frameGeometry().width(), outerWidth);
        QTRY_COMPARE(control<QLabel>(*w, "imLogo")->x(), left);
        QCOMPARE(TfMain::logoLeft(outerWidth), left);
    }

    void anchoredControlsFollowTheWindow() {
        auto w = startedWindow();
        auto* edit = control<QLineEdit>(*w, "eEVOfile");
        auto* read = control<QPushButton>(*w, "bCheck");
        auto* cancel = control<QPushButton>(*w, "bCancel");
        auto* demux = control<QPushButton>(*w, "bDemux");
        const int editWidth = edit->width(), readLeft = read->x(), cancelTop = cancel->y();
        w->resize(w->width() + 100, w->height() + 50);
        QTRY_COMPARE(read->x(), readLeft + 100);
        QCOMPARE(edit->width(), editWidth + 100);
        QCOMPARE(edit->x(), 8);
        QCOMPARE(cancel->y(), cancelTop + 50);
        QCOMPARE(demux->x(), 8);
        QCOMPARE(demux->y(), cancelTop + 50);
    }

    void droppedFilesFollowTheDropRules() {
        auto w = startedWindow();
        auto* edit = control<QLineEdit>(*w, "eEVOfile");
        w->WMDropFiles({"/disc/HVDVD_TS/FEATURE_1.EVO", "/other/B.EVO"});
        QCOMPARE(edit->text(), QString("/disc/HVDVD_TS/FEATURE_1.EVO"));
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), QString("/disc/ADV_OBJ/VPLST000.XPL"));
        QVERIFY(control<QPushButton>(*w, "bCheck")->isEnabled());
        QVERIFY(!control<QPushButton>(*w, "bReadXPL")->isEnabled()); // no such playlist file
        QCOMPARE(w->context().ui.BaseName, std::string("FEATURE_1"));

        w->WMDropFiles({"/music/ATS_01_1.AOB"}); // taken like the browse dialog offers it
        QCOMPARE(edit->text(), QString("/music/ATS_01_1.AOB"));
        w->WMDropFiles({"/notes/readme.txt"});
        QCOMPARE(edit->text(), QString("/music/ATS_01_1.AOB"));

        // Through a real drop event: only the first local file counts.
        QMimeData data;
        data.setUrls(
            {QUrl::fromLocalFile("/x/ADV_OBJ/VPLST000.XPL"), QUrl::fromLocalFile("/y/A.EVO")});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(w.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &drop);
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), QString("/x/ADV_OBJ/VPLST000.XPL"));
        QCOMPARE(edit->text(), QString("/music/ATS_01_1.AOB"));
        QCOMPARE(w->context().ui.EVOdir, std::string("/x/HVDVD_TS/"));
    }

    void cancelledDialogsChangeNothing() {
        ScriptedDialogs* dialogs = nullptr;
        auto w = startedWindow(&dialogs);
        w->WMDropFiles({"/disc/HVDVD_TS/FEATURE_1.EVO"});
        dialogs->answers = {"", "", ""};
        control<QToolButton>(*w, "bbEVO")->click();
        w->waitForJob();
        control<QToolButton>(*w, "bbXPL")->click();
        QCOMPARE(dialogs->folders, QStringList({"/disc/HVDVD_TS/", "/disc/ADV_OBJ/"}));
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(),
                 QString("/disc/HVDVD_TS/FEATURE_1.EVO"));
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), QString("/disc/ADV_OBJ/VPLST000.XPL"));
        QVERIFY(w->context().ui.log.empty()); // no Read started

        // The folder dialog: a cancel keeps an existing folder and drops a missing one.
        auto* workdir = control<QLineEdit>(*w, "eWorkdir");
        QTemporaryDir out;
        dialogs->answers = {out.path() + "/"};
        control<QToolButton>(*w, "bbWorkdir")->click();
        QCOMPARE(workdir->text(), out.path());
        QCOMPARE(w->context().ui.eWorkdir, out.path().toStdString());
        dialogs->answers = {""};
        control<QToolButton>(*w, "bbWorkdir")->click();
        QCOMPARE(dialogs->folders.last(), out.path());
        QCOMPARE(workdir->text(), out.path());
        w->context().ui.eWorkdir = "/no/such/folder";
        dialogs->answers = {""};
        control<QToolButton>(*w, "bbWorkdir")->click();
        QCOMPARE(dialogs->folders.last(), QString());
        QCOMPARE(workdir->text(), QString());
    }

    void browsedSourceIsReadAtOnceWithAutoRead() {
        QTemporaryDir dir;
        const std::string evo = dir.path().toStdString() + "/MOVIE.EVO";
        writeSampleEvo(evo);
        ScriptedDialogs* dialogs = nullptr;
        auto w = startedWindow(&dialogs);
        dialogs->answers = {QString::fromStdString(evo)};
        control<QToolButton>(*w, "bbEVO")->click();
        w->waitForJob();
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), QString::fromStdString(evo));
        QVERIFY(control<QCheckBox>(*w, "cbVideo0")->isChecked());
        QCOMPARE(control<QCheckBox>(*w, "cbVideo0")->text(), QString("MPEG-2.stream.0"));

        // Without Auto Read the file is only entered.
        control<QCheckBox>(*w, "cbAutoRead")->click();
        QVERIFY(!w->context().ui.cbAutoRead);
        dialogs->answers = {QString::fromStdString(evo)};
        control<QToolButton>(*w, "bbEVO")->click();
        w->waitForJob();
        QVERIFY(!control<QCheckBox>(*w, "cbVideo0")->isChecked());
        QCOMPARE(control<QCheckBox>(*w, "cbVideo0")->text(), QString("No video stream"));
        QVERIFY(control<QPushButton>(*w, "bCheck")->hasFocus() || !w->isActiveWindow());
    }

    // Enter reads in the source and playlist edits and does nothing elsewhere; "Clear"
    // is never pressed by it, and Ctrl+Z brings its log back until the next job.
    void keysDoWhatUsersExpect() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("HVDVD_TS");
        QDir(dir.path()).mkpath("ADV_OBJ");
        const QString evo = dir.path() + "/HVDVD_TS/FEATURE_1.EVO";
        writeSampleEvo(evo.toStdString());
        QFile xpl(dir.path() + "/ADV_OBJ/VPLST000.XPL");
        QVERIFY(xpl.open(QIODevice::WriteOnly));
        xpl.write(testPlaylist());
        xpl.close();
        auto w = startedWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        const auto& log = w->context().ui.log;
        w->WMDropFiles({evo});
        auto* pages = control<QTabWidget>(*w, "PageControl");
        pages->setCurrentIndex(5);
        for (const char* name : {"cbFastCheck", "eWorkdir", "rbAutoDemux"}) {
            auto* widget = control<QWidget>(*w, name);
            widget->setFocus();
            QTest::keyClick(widget, Qt::Key_Return);
            QVERIFY2(log.empty(), name);
        }
        QTest::keyClick(w.get(), Qt::Key_Enter);
        QVERIFY(log.empty());
        QCOMPARE(pages->currentIndex(), 5);

        QTest::keyClick(control<QLineEdit>(*w, "eEVOfile"), Qt::Key_Return);
        w->waitForJob();
        QVERIFY(control<QCheckBox>(*w, "cbAudio01")->isChecked());
        QTest::keyClick(control<QLineEdit>(*w, "eXPLfile"), Qt::Key_Return);
        QCOMPARE(pages->currentIndex(), 4);
        QCOMPARE(control<QCheckBox>(*w, "cbSub01")->text(), QString("2bitRLE.stream.01.French"));
        const std::vector<std::string> before = log;

        auto* clear = control<QPushButton>(*w, "bClear");
        auto* view = control<LogView>(*w, "reMessage");
        pages->setCurrentIndex(0);
        clear->setFocus();
        QTest::keyClick(clear, Qt::Key_Return);
        QCOMPARE(log, before);
        clear->click();
        QVERIFY(log.empty());
        QVERIFY(view->plainText().isEmpty());
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(log, before);
        QCOMPARE(view->lineCount(), before.size());
        QCOMPARE(view->plainText().section(u'\n', 0, 0), QString("Opening file FEATURE_1.EVO"));

        clear->click();
        control<QPushButton>(*w, "bCheck")->click(); // a job: the cleared lines are gone
        w->waitForJob();
        const std::vector<std::string> read = log;
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(log, read);
    }

    void enablingRuleFollowsTheTickedBoxes() {
        QTemporaryDir dir;
        const std::string evo = dir.path().toStdString() + "/MOVIE.EVO";
        writeSampleEvo(evo);
        auto w = startedWindow();
        w->WMDropFiles({QString::fromStdString(evo)});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        auto* demux = control<QPushButton>(*w, "bDemux");
        auto* rebuild = control<QPushButton>(*w, "bRebuild");
        QVERIFY(demux->isEnabled() && rebuild->isEnabled());

        const char* ticked[] = {"cbVideo0", "cbAudio00", "cbAudio01", "cbSub00"};
        for (const char* name : ticked) {
            auto* box = control<QCheckBox>(*w, name);
            QVERIFY2(box->isEnabled() && box->isChecked(), name);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
            QVERIFY2(!box->isChecked(), name);
        }
        QVERIFY(!demux->isEnabled());
        QVERIFY(!rebuild->isEnabled());
        QVERIFY(!w->context().ui.bDemux);
        control<QCheckBox>(*w, "cbSub00")->click();
        QVERIFY(demux->isEnabled() && rebuild->isEnabled());
        QVERIFY(w->context().ui.cbSub[0].checked);
        control<QCheckBox>(*w, "cbSub00")->click();
        QVERIFY(!demux->isEnabled() && !rebuild->isEnabled());
        QVERIFY(!control<QCheckBox>(*w, "cbVideo1")->isEnabled());

        // "Select all" and "Select none" of a page's context menu.
        auto* audioPage = control<QWidget>(*w, "tsAudio");
        QCOMPARE(audioPage->contextMenuPolicy(), Qt::ActionsContextMenu);
        auto* all = audioPage->findChild<QAction*>("actSelectAll");
        QCOMPARE(all->text(), QString("Select all"));
        all->trigger();
        QVERIFY(demux->isEnabled() && rebuild->isEnabled());
        QVERIFY(control<QCheckBox>(*w, "cbAudio00")->isChecked());
        QVERIFY(control<QCheckBox>(*w, "cbAudio01")->isChecked());
        QVERIFY(!control<QCheckBox>(*w, "cbAudio02")->isChecked()); // no stream there
        QVERIFY(!control<QCheckBox>(*w, "cbVideo0")->isChecked());
        audioPage->findChild<QAction*>("actSelectNone")->trigger();
        QVERIFY(!control<QCheckBox>(*w, "cbAudio00")->isChecked());
        QVERIFY(!demux->isEnabled() && !rebuild->isEnabled());
    }

    void anErrorIsShownAndTheWindowGoesOn() {
        auto w = startedWindow();
        w->WMDropFiles({"/no/such/dir/MISSING.EVO"});
        auto answer = answerNextMessageBox(QMessageBox::Ok);
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QCOMPARE(answer->seen, 1);
        QVERIFY2(answer->text.startsWith("Cannot open file \"/no/such/dir/MISSING.EVO\"."),
                 qPrintable(answer->text));
        QVERIFY(!w->context().busy);
        QVERIFY(!control<QPushButton>(*w, "bCancel")->isEnabled());
        // The log keeps the error, in red, and the window is ready again.
        QCOMPARE(control<QLabel>(*w, "StatusPanel0")->text(), QString(" Ready"));
        auto* log = control<LogView>(*w, "reMessage");
        const QTextBlock last = log->document()->lastBlock();
        QCOMPARE(log->plainText().section(u'\n', -1), answer->text);
        QCOMPARE(QTextCursor(last).charFormat().foreground().color(), QColor(Qt::red));
        QTextCursor inLine(last);
        inLine.movePosition(QTextCursor::EndOfBlock);
        QCOMPARE(inLine.charFormat().foreground().color(), QColor(Qt::red));
        // Still working: another file can be entered.
        w->WMDropFiles({"/a/B.VOB"});
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), QString("/a/B.VOB"));
        QVERIFY(control<QPushButton>(*w, "bCheck")->isEnabled());
    }

    void fileNamedAtStartIsEntered() {
        auto w = std::make_unique<TfMain>();
        w->chooseAtStart("/disc/HVDVD_TS/FEATURE_1.EVO");
        w->FormActivate();
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(),
                 QString("/disc/HVDVD_TS/FEATURE_1.EVO"));
        QVERIFY(control<QPushButton>(*w, "bCheck")->isEnabled());
        QVERIFY(w->context().ui.log.empty());
    }

private:
    std::unique_ptr<SettingsSandbox> sandbox_;
};

QF_GUI_SUITE(MainWindowTest, "main_window_test");

#include "main_window_test.moc"
