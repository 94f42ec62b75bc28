// Disc sources in the window: a dropped DVD-Video folder or image fills the Title chooser (a
// damaged one is a message box, and the window goes on), the chosen title is what Read
// reads, and a dropped HD DVD folder stands for its first feature file with the playlist
// beside it.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include "LogView.h"
#include "gui_support.h"
#include "samples/sample_disc.h"

using namespace qf;
using namespace qf::test;

class TitleChooserTest : public QObject {
    Q_OBJECT
private slots:
    void init() { sandbox_ = std::make_unique<SettingsSandbox>(); }
    void cleanup() { sandbox_.reset(); }

    void aDroppedDiscOffersItsTitlesAndReadsTheChosenOne() {
        const QString disc = QStringLiteral(QUILLFEN_DVD_DIR "/pal");
        auto w = startedWindow();
        auto* chooser = control<QComboBox>(*w, "cmbTitle");
        QVERIFY(chooser->isHidden());
        w->WMDropFiles({disc});
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), disc);
        QVERIFY(!chooser->isHidden());
        QCOMPARE(chooser->count(), 3);
        QCOMPARE(chooser->currentText(), QString::fromUtf8("1 \u2014 0:00:30, 3 chapters"));
        QCOMPARE(chooser->itemText(1), QString::fromUtf8("2 \u2014 0:00:04, 1 chapter"));

        // Choosing a title reads it: the pages never list another title's streams.
        chooser->setCurrentIndex(1);
        emit chooser->activated(1);
        QVERIFY(w->jobRunning());
        QVERIFY(!chooser->isEnabled());
        w->waitForJob();
        const QString log = control<LogView>(*w, "reMessage")->plainText();
        QVERIFY2(log.contains("Opening title 2 of pal (1 chapter, 0:00:04)\n"), qPrintable(log));
        QCOMPARE(control<QLabel>(*w, "lTitleChoice")->text(), QStringLiteral("Title 2"));
        QVERIFY(!w->context().ui.cbSub[0].enabled); // title 1's French subtitles are gone
        QCOMPARE(QString::fromStdString(w->context().ui.cbAudio[0].caption),
                 QStringLiteral("DD.stream.00.English"));
        QCOMPARE(chooser->currentIndex(), 1);
        QVERIFY(control<QPushButton>(*w, "bRebuild")->isEnabled());

        // An image of the same disc, then a plain file: the chooser follows the source.
        w->WMDropFiles({QStringLiteral(QUILLFEN_DVD_DIR "/pal.iso")});
        QCOMPARE(chooser->count(), 3);
        QCOMPARE(chooser->currentIndex(), 0);
        w->WMDropFiles({QStringLiteral(QUILLFEN_DVD_DIR "/pal/VIDEO_TS/VTS_01_1.VOB")});
        QVERIFY(chooser->isHidden());
    }

    void aTitleOfSeveralAnglesOffersThemAndReadsTheChosenOne() {
        auto w = startedWindow();
        auto* angles = control<QComboBox>(*w, "cmbAngle");
        w->WMDropFiles({QStringLiteral(QUILLFEN_ANGLE_DIR "/seamless")});
        w->waitForJob();
        QVERIFY(!angles->isHidden());
        QCOMPARE(angles->count(), 3);
        QCOMPARE(angles->currentText(), QStringLiteral("1"));
        angles->setCurrentIndex(1);
        emit angles->activated(1);
        QVERIFY(w->jobRunning());
        w->waitForJob();
        const QString log = control<LogView>(*w, "reMessage")->plainText();
        QVERIFY2(log.contains("Angle 2 of 3\n"), qPrintable(log));
        QCOMPARE(control<QLabel>(*w, "lTitleChoice")->text(), QStringLiteral("Title 1, angle 2"));
        QCOMPARE(angles->currentIndex(), 1);

        // A disc whose titles have one angle each offers no angle to choose.
        w->WMDropFiles({QStringLiteral(QUILLFEN_DVD_DIR "/pal")});
        QVERIFY(angles->isHidden());
    }

    void aDiscFolderOpensFromItsDialogAndAFolderWithoutOneSaysWhy() {
        QTemporaryDir empty;
        auto w = startedWindow();
        auto dialogs = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs& script = *dialogs;
        w->setDialogs(std::move(dialogs));
        script.answers = {QStringLiteral(QUILLFEN_DVD_DIR "/pal"), empty.path()};
        control<QToolButton>(*w, "bbDisc")->click();
        w->waitForJob(); // Auto Read EVO reads it at once
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(),
                 QStringLiteral(QUILLFEN_DVD_DIR "/pal"));
        QCOMPARE(control<QComboBox>(*w, "cmbTitle")->count(), 3);
        QVERIFY(w->context().ui.cbAudio[0].enabled);

        const auto box = answerNextMessageBox(QMessageBox::Ok);
        control<QToolButton>(*w, "bbDisc")->click();
        QCOMPARE(box->text, "No DVD-Video or HD DVD disc in \"" + empty.path() +
                                "\": it holds no VIDEO_TS or HVDVD_TS folder.");
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(),
                 QStringLiteral(QUILLFEN_DVD_DIR "/pal"));
    }

    // A disc whose IFO bytes would corrupt libdvdread's memory, or whose reader faults: a
    // message box, and the window goes on with the next disc, on drop as on Read.
    void aDamagedDiscIsAMessageAndTheWindowGoesOn() {
        QTemporaryDir dir;
        const QString disc = dir.path() + "/pal";
        QVERIFY(QDir().mkpath(disc + "/VIDEO_TS"));
        const QDir made(QStringLiteral(QUILLFEN_DVD_DIR "/pal/VIDEO_TS"));
        for (const QString& name : made.entryList(QDir::Files))
            QVERIFY(QFile::link(made.filePath(name), disc + "/VIDEO_TS/" + name));
        const std::string ifo = (disc + "/VIDEO_TS/VIDEO_TS.IFO").toStdString();
        Bytes bytes = readFile(made.filePath("VIDEO_TS.IFO").toStdString());
        QVERIFY(QFile::remove(QString::fromStdString(ifo)));
        std::fill(bytes.begin() + 0x804, bytes.begin() + 0x807, 0xFF);
        writeFile(ifo, bytes);

        auto w = startedWindow();
        auto box = answerNextMessageBox(QMessageBox::Ok);
        w->WMDropFiles({disc});
        QCOMPARE(box->seen, 1);
        QCOMPARE(box->text, "Cannot open disc \"" + disc +
                                "\". Its VIDEO_TS.IFO is damaged (title table ends past the "
                                "file's end)");
        box = answerNextMessageBox(QMessageBox::Ok);
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QCOMPARE(box->seen, 1);
        QVERIFY(!w->context().busy);

        const QString good = QStringLiteral(QUILLFEN_DVD_DIR "/pal");
        qputenv("QUILLFEN_DISC_READER_FAULT", "segv");
        box = answerNextMessageBox(QMessageBox::Ok);
        w->WMDropFiles({good});
        qunsetenv("QUILLFEN_DISC_READER_FAULT");
        QCOMPARE(box->seen, 1);
        QCOMPARE(box->text, "Cannot open disc \"" + good +
                                "\". Reading its IFO files failed (the reader stopped on "
                                "signal 11)");
        w->WMDropFiles({QStringLiteral(QUILLFEN_DVD_DIR "/pal.iso")});
        QCOMPARE(control<QComboBox>(*w, "cmbTitle")->count(), 3);
    }

    // Ctrl+V outside an edit: the clipboard's path (or file URL) is the source, read at once.
    void aPastedPathIsTheSource() {
        auto w = startedWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        const QString disc = QStringLiteral(QUILLFEN_DVD_DIR "/pal");
        for (const QString& pasted : {disc, QUrl::fromLocalFile(disc + ".iso").toString()}) {
            QGuiApplication::clipboard()->setText(pasted);
            QTest::keyClick(w.get(), Qt::Key_V, Qt::ControlModifier);
            w->waitForJob();
            QVERIFY2(control<QLineEdit>(*w, "eEVOfile")->text().startsWith(disc),
                     qPrintable(control<QLineEdit>(*w, "eEVOfile")->text()));
            QCOMPARE(control<QComboBox>(*w, "cmbTitle")->count(), 3);
            QVERIFY(w->context().ui.cbAudio[0].enabled); // Auto Read EVO read it
        }
        // Two lines are no path: nothing changes.
        QGuiApplication::clipboard()->setText(disc + "\n" + disc);
        QTest::keyClick(w.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), disc + ".iso");
    }

    void aDroppedHdDvdFolderIsItsFirstFeature() {
        QTemporaryDir dir;
        writeSampleDisc(dir.path().toStdString());
        auto w = startedWindow();
        w->WMDropFiles({dir.path() + "/"});
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(),
                 dir.path() + "/HVDVD_TS/FEATURE_1.EVO");
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), dir.path() + "/ADV_OBJ/VPLST000.XPL");
        QVERIFY(control<QComboBox>(*w, "cmbTitle")->isHidden());
    }

private:
    std::unique_ptr<SettingsSandbox> sandbox_;
};

QF_GUI_SUITE(TitleChooserTest, "title_chooser_test");

#include "title_chooser_test.moc"
