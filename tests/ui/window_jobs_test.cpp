// The jobs driven through the window: Read, Demux, Read XPL, Cancel, and the guard that
// keeps a second job from starting while one runs.
#include <algorithm>
#include <fstream>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include "LogView.h"
#include "Settings.h"
#include "StreamPage.h"
#include "engine/blockpass.h"
#include "gui_support.h"
#include "samples/sample_disc.h"
#include "support/slow_stream.h"

using namespace qf;
using namespace qf::test;

namespace {

constexpr size_t kLongVideo = 12u << 20; // long enough for the pass to hand over events

// Runs `action` on the window's thread once the next job's pass has shown its first
// progress (at 4 MiB), and never once the window is gone. The job's source is held there
// until the action has run, as a slow disc would hold it.
void atFirstPump(TfMain& window, std::function<void()> action) {
    auto gate = std::make_shared<ReadGate>();
    gate->hold();
    window.context().openFile = [gate](const std::string& path) -> std::unique_ptr<Stream> {
        return std::make_unique<SlowStream>(
            std::make_unique<FileStream>(path, FileStream::Mode::Read), gate, kPumpInterval);
    };
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window,
                     [&window, poll, gate, action = std::move(action)] {
                         const auto& ui = window.context().ui;
                         if (!ui.bCancel || ui.status[1].find("Mbytes") == std::string::npos)
                             return;
                         poll->stop();
                         poll->deleteLater();
                         action();
                         gate->release();
                     });
    poll->start(0);
}

QString path(const QTemporaryDir& dir, const char* name) {
    return dir.path() + "/" + name;
}

} // namespace

class WindowJobsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { sandbox_ = std::make_unique<SettingsSandbox>(); }
    void cleanup() { sandbox_.reset(); }

    void readThenDemuxWritesTheTickedStreams() {
        QTemporaryDir dir;
        const Bytes video = writeSampleEvo(path(dir, "MOVIE.EVO").toStdString());
        QDir(dir.path()).mkdir("out");
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "MOVIE.EVO"), path(dir, "OTHER.EVO")});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();

        // The Read job's results, as shown.
        auto* log = control<LogView>(*w, "reMessage");
        QVERIFY(log->plainText().startsWith("Opening file MOVIE.EVO\n"));
        QVERIFY(log->plainText().contains("Done."));
        QCOMPARE(log->formatAt(static_cast<int>(QString("Opening file ").size())).fontWeight(),
                 int(QFont::Bold));
        QCOMPARE(control<QLabel>(*w, "StatusPanel0")->text(), QString(" Ready"));
        QCOMPARE(control<QTabWidget>(*w, "PageControl")->currentIndex(), 0);
        QCOMPARE(control<QCheckBox>(*w, "cbVideo0")->text(), QString("MPEG-2.stream.0"));
        QCOMPARE(control<QCheckBox>(*w, "cbAudio00")->text(), QString("DD.stream.00"));
        QCOMPARE(control<QCheckBox>(*w, "cbAudio01")->text(), QString("DD.stream.01"));
        QCOMPARE(control<QCheckBox>(*w, "cbSub00")->text(), QString("Subpicture.00"));
        QVERIFY(!control<QCheckBox>(*w, "cbAudio02")->isEnabled());

        // Untick one audio stream, choose the output folder and extensions, demux.
        control<QCheckBox>(*w, "cbAudio01")->click();
        QTest::keyClicks(control<QLineEdit>(*w, "eWorkdir"), path(dir, "out"));
        auto* videoExt = control<QLineEdit>(*w, "eVideoExt");
        videoExt->selectAll();
        QTest::keyClicks(videoExt, "m2v");
        QCOMPARE(w->context().ui.eVideoExt, std::string("m2v"));
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();

        const QString out = path(dir, "out/MOVIE.");
        QVERIFY(QFileInfo::exists(out + "MPEG-2.stream.0.m2v"));
        // Named by codec for the mkvmerge options file, which names them.
        QVERIFY(QFileInfo::exists(out + "DD.stream.00.ac3"));
        QVERIFY(QFileInfo::exists(out + "Subpicture.00.idx")); // 2-bit units: VobSub for it
        QVERIFY(QFileInfo::exists(out + "Subpicture.00.sub"));
        QVERIFY(!QFileInfo::exists(out + "DD.stream.01.ac3"));
        QCOMPARE(readFile((out + "MPEG-2.stream.0.m2v").toStdString()), video);
        QCOMPARE(readFile((out + "DD.stream.00.ac3").toStdString()),
                 readFile(dataFile("ac3_48k_448k_51.ac3")));
        QVERIFY(log->plainText().contains("Creating " + out + "DD.stream.00.ac3"));
        QVERIFY(QFileInfo::exists(out + "mkvmerge.json"));
        QVERIFY(control<QPushButton>(*w, "bDemux")->isEnabled());
        QVERIFY(control<QPushButton>(*w, "bRebuild")->isEnabled());
        QVERIFY(!control<QPushButton>(*w, "bCancel")->isEnabled());
    }

    void readXplListsTheTitleAndTicksItsStreams() {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("HVDVD_TS");
        QDir(dir.path()).mkpath("ADV_OBJ");
        writeSampleEvo(path(dir, "HVDVD_TS/FEATURE_1.EVO").toStdString());
        std::ofstream(path(dir, "ADV_OBJ/VPLST000.XPL").toStdString()) << testPlaylist();
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "HVDVD_TS/FEATURE_1.EVO")});
        QCOMPARE(control<QLineEdit>(*w, "eXPLfile")->text(), path(dir, "ADV_OBJ/VPLST000.XPL"));
        control<QPushButton>(*w, "bReadXPL")->click();

        QCOMPARE(control<QTabWidget>(*w, "PageControl")->currentIndex(), 4);
        auto* tree = control<QTreeWidget>(*w, "tvXPL");
        QStringList roots;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) roots << tree->topLevelItem(i)->text(0);
        QCOMPARE(roots, QStringList({"Info", "Video", "Audio", "Subtitle", "Chapter"}));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QString("Title: Test Disc"));
        QCOMPARE(tree->topLevelItem(2)->child(0)->text(0), QString("DD+.6ch.stream.00.English"));
        QCOMPARE(tree->topLevelItem(4)->child(0)->text(0), QString("00:00:00:00: Start"));

        auto* text = control<QPlainTextEdit>(*w, "mXPL");
        QVERIFY(text->isVisible());
        const QStringList lines = text->toPlainText().split('\n');
        QVERIFY2(lines.first().contains("<Title id=\"Main\""), qPrintable(lines.first()));
        QVERIFY(lines.last().contains("</Title>"));

        auto* audio = control<QCheckBox>(*w, "cbAudio00");
        QVERIFY(audio->isEnabled() && audio->isChecked());
        QCOMPARE(audio->text(), QString("DD+.6ch.stream.00.English"));
        QCOMPARE(audio->toolTip(), QString("DD+.6ch.stream.00.English"));
        QCOMPARE(control<QCheckBox>(*w, "cbSub01")->text(), QString("2bitRLE.stream.01.French"));
        QCOMPARE(control<QCheckBox>(*w, "cbVideo0")->text(), QString("MPEG-2.stream.0"));
        QVERIFY(control<QPushButton>(*w, "bDemux")->isEnabled());
        QVERIFY(control<QPushButton>(*w, "bReadXPL")->isEnabled());
        QVERIFY(control<LogView>(*w, "reMessage")
                    ->plainText()
                    .contains("DD+.6ch.stream.00.English found!"));
        // The outcome shows whichever page is shown, also when no title plays the source.
        auto* outcome = control<QLabel>(*w, "StatusPanel1");
        QCOMPARE(outcome->text(), QString(" Title 'Main' \u2014 1 part, 1 chapter"));
        writeSampleEvo(path(dir, "HVDVD_TS/OTHER.EVO").toStdString());
        w->WMDropFiles({path(dir, "HVDVD_TS/OTHER.EVO")});
        control<QPushButton>(*w, "bReadXPL")->click();
        QCOMPARE(outcome->text(), QString(" No title in the playlist plays OTHER"));
        QCOMPARE(control<QStatusBar>(*w, "StatusBar")->toolTip(),
                 QString("No title in the playlist plays OTHER"));
    }

    void twoPartReadThenReadXplListsTheTitle() {
        QTemporaryDir disc;
        const auto files = writeSampleDisc(disc.path().toStdString());
        auto w = startedWindow();
        const QSize start = w->size();
        w->resize(start + QSize(300, 0)); // half the page holds every entry in any font
        QTRY_COMPARE(w->size(), start + QSize(300, 0));
        w->WMDropFiles({QString::fromStdString(files.front())});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QCOMPARE(w->context().ui.BaseName, std::string("FEATURE_1_FEATURE_2"));
        control<QPushButton>(*w, "bReadXPL")->click();
        QCOMPARE(control<QLabel>(*w, "StatusPanel1")->text(),
                 QString(" Title 'Feature' \u2014 2 parts, 2 chapters"));

        // Every node open, every entry whole, the tree at most half the page.
        auto* tree = control<QTreeWidget>(*w, "tvXPL");
        auto* splitter = control<QSplitter>(*w, "splXPL");
        QCOMPARE(tree->topLevelItemCount(), 5);
        QCOMPARE(tree->topLevelItem(2)->childCount(), 3);
        const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            const QString text = (*it)->text(0);
            QVERIFY2(!(*it)->parent() || (*it)->parent()->isExpanded(), qPrintable(text));
            const QRect place = tree->visualItemRect(*it);
            QVERIFY2(tree->fontMetrics().horizontalAdvance(text) + 2 * margin <= place.width() &&
                         place.right() < tree->viewport()->width(),
                     qPrintable(text));
        }
        QVERIFY(splitter->sizes().value(0) <= splitter->width() / 2);
        QCOMPARE(w->context().ui.treeWidth, splitter->sizes().value(0));
        splitter->setSizes({60, splitter->width() - 60}); // the user may still narrow it
        QCOMPARE(splitter->sizes().value(0), 60);

        // The boxes carry the playlist's names, whole at the starting size.
        w->resize(start);
        control<QTabWidget>(*w, "PageControl")->setCurrentIndex(2);
        auto* audio = control<StreamBox>(*w, "cbAudio00");
        QVERIFY(audio->isChecked());
        QCOMPARE(audio->text(), QString("AC-3.6ch.stream.00.English"));
        QTRY_COMPARE(audio->shownText(), audio->text());
        QCOMPARE(control<QCheckBox>(*w, "cbSub00")->text(), QString("2bitRLE.stream.00.English"));
        QVERIFY(control<QPushButton>(*w, "bDemux")->isEnabled());
    }

    void logShowsTheNewestLineAfterADemuxFromAnotherPage() {
        QTemporaryDir disc;
        const auto files = writeSampleDisc(disc.path().toStdString());
        auto w = startedWindow();
        const QSize start = w->size();
        w->resize(start + QSize(40, 120));
        QTRY_COMPARE(w->size(), start + QSize(40, 120));
        w->WMDropFiles({QString::fromStdString(files.front())});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        // Made smaller while the log is hidden: its view keeps the taller size until shown.
        control<QTabWidget>(*w, "PageControl")->setCurrentIndex(5);
        w->resize(start);
        QTRY_COMPARE(w->size(), start);
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();
        QCOMPARE(control<QTabWidget>(*w, "PageControl")->currentIndex(), 0);
        QScrollBar* bar = control<LogView>(*w, "reMessage")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    void cancelDuringDemuxAsksFirst_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("escape");
        QTest::newRow("Yes stops the pass") << true << false;
        QTest::newRow("No lets it go on") << false << false;
        QTest::newRow("Escape, Yes") << true << true;
        QTest::newRow("Escape, No") << false << true;
    }
    void cancelDuringDemuxAsksFirst() {
        QFETCH(bool, yes);
        QFETCH(bool, escape);
        QTemporaryDir dir;
        const Bytes video = writeSampleEvo(path(dir, "LONG.EVO").toStdString(), kLongVideo);
        auto w = startedWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->WMDropFiles({path(dir, "LONG.EVO")});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        control<QLineEdit>(*w, "eWorkdir")->setText(dir.path());
        w->context().ui.eWorkdir = dir.path().toStdString();

        std::shared_ptr<BoxAnswer> answer;
        bool cancelEnabled = false;
        atFirstPump(*w, [&] {
            auto* cancel = control<QPushButton>(*w, "bCancel");
            cancelEnabled = cancel->isEnabled();
            answer = answerNextMessageBox(yes ? QMessageBox::Yes : QMessageBox::No);
            if (escape)
                QTest::keyClick(w.get(), Qt::Key_Escape);
            else
                cancel->click();
        });
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();

        QVERIFY(cancelEnabled);
        QVERIFY(answer);
        QCOMPARE(answer->seen, 1);
        QCOMPARE(answer->text, QString("Are you sure to stop demuxing?"));
        QCOMPARE(w->context().control.stopRequested(), yes);
        const auto written = readFile(path(dir, "LONG.MPEG-2.stream.0.m2v").toStdString()).size();
        if (yes)
            QVERIFY(written < video.size());
        else
            QCOMPARE(written, video.size());
        QVERIFY(!control<QPushButton>(*w, "bCancel")->isEnabled());
    }

    void cancelDuringReadStopsWithoutAsking() {
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "LONG.EVO").toStdString(), kLongVideo);
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "LONG.EVO")});
        auto answer = answerNextMessageBox(QMessageBox::No);
        atFirstPump(*w, [&] { control<QPushButton>(*w, "bCancel")->click(); });
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QCOMPARE(answer->seen, 0);
        QVERIFY(w->context().control.stopRequested());
        QVERIFY(control<QCheckBox>(*w, "cbVideo0")->isChecked()); // streams met before the stop
        QVERIFY(!control<LogView>(*w, "reMessage")->plainText().contains("frames ("));
    }

    void noSecondJobStartsWhileOneRuns() {
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "LONG.EVO").toStdString(), kLongVideo);
        writeSampleEvo(path(dir, "SHORT.EVO").toStdString());
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "LONG.EVO")});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QVERIFY(control<QPushButton>(*w, "bDemux")->isEnabled());
        w->context().ui.eWorkdir = dir.path().toStdString();

        int pumps = 0;
        bool allLocked = true;
        QTimer poker; // at every pump while the job runs
        poker.setInterval(0);
        connect(&poker, &QTimer::timeout, [&] {
            if (!w->jobRunning()) return;
            ++pumps;
            for (const char* name : {"bCheck", "bDemux", "bRebuild", "bReadXPL"})
                allLocked = allLocked && !control<QPushButton>(*w, name)->isEnabled();
            allLocked = allLocked && !control<QToolButton>(*w, "bbEVO")->isEnabled();
            control<QPushButton>(*w, "bCheck")->click();
            control<QPushButton>(*w, "bRebuild")->click();
            w->WMDropFiles({path(dir, "SHORT.EVO")});
        });
        poker.start();
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();
        QVERIFY(pumps >= 2);
        QVERIFY(allLocked);
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), path(dir, "LONG.EVO"));
        QVERIFY(!QFileInfo::exists(path(dir, "LONG.rebuilt.EVO")));
        const QString plain = control<LogView>(*w, "reMessage")->plainText();
        QCOMPARE(plain.count("Opening file"), 2); // the Read and the Demux, nothing nested
    }

    void closingDuringAJobStopsItThenCloses() {
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "LONG.EVO").toStdString(), kLongVideo);
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "LONG.EVO")});
        atFirstPump(*w, [&] { QVERIFY(!w->close()); });
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QVERIFY(w->context().control.stopRequested());
        QTRY_VERIFY(!w->isVisible());
        QSettings store(kSettingsOrganization, kSettingsApplication);
        QVERIFY(store.contains("Install"));
    }

    // Closing during Demux or Rebuild asks whether to stop the job and close, in the job's
    // words; Yes closes the window once the job has stopped and closed its files, No
    // changes nothing.
    void closingDuringAWritingJobAsksFirst_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        for (bool yes : {true, false}) {
            const char* answer = yes ? "Yes" : "No";
            QTest::addRow("demux, %s", answer)
                << "bDemux" << yes << "Stop demuxing and close the window?";
            QTest::addRow("rebuild, %s", answer)
                << "bRebuild" << yes << "Stop rebuilding and close the window?";
        }
    }
    void closingDuringAWritingJobAsksFirst() {
        QFETCH(QString, button);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "LONG.EVO").toStdString(), kLongVideo);
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "LONG.EVO")});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        w->context().ui.eWorkdir = dir.path().toStdString();

        std::shared_ptr<BoxAnswer> answer;
        bool closed = true;
        atFirstPump(*w, [&] {
            answer = answerNextMessageBox(yes ? QMessageBox::Yes : QMessageBox::No);
            closed = w->close();
        });
        bool busyWhenHidden = false;
        QObject watcher;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &watcher, [&] {
            if (!w->isVisible()) {
                busyWhenHidden = busyWhenHidden || w->context().busy;
                poll.stop();
            }
        });
        poll.start(0);
        control<QPushButton>(*w, button.toLatin1().constData())->click();
        w->waitForJob();

        QVERIFY(!closed); // never at once: the job first stops
        QVERIFY(answer);
        QCOMPARE(answer->seen, 1);
        QCOMPARE(answer->text, question);
        QCOMPARE(w->context().control.stopRequested(), yes);
        if (yes) {
            QTRY_VERIFY(!w->isVisible());
            QVERIFY(!busyWhenHidden);
            const auto& c = w->context();
            for (const auto& out : c.io.AudioOut) QVERIFY(!out);
            QVERIFY(!c.io.VideoOut[0] && !c.io.SourceStream);
        } else {
            QTest::qWait(50);
            QVERIFY(w->isVisible());
            const QString plain = control<LogView>(*w, "reMessage")->plainText();
            QVERIFY(plain.contains("Done.") && !plain.contains("Cancelled."));
        }
    }

    // At the start-up size, each job's status texts show whole on a 100 GB title part (a
    // sparse file), and so does Read XPL's outcome.
    void statusTextsFitOnAHugeTitle_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("Read") << "bCheck";
        QTest::newRow("Demux") << "bDemux";
        QTest::newRow("Rebuild") << "bRebuild";
        QTest::newRow("Read XPL") << "bReadXPL";
    }
    void statusTextsFitOnAHugeTitle() {
        QFETCH(QString, button);
        QTemporaryDir disc;
        QDir(disc.path()).mkpath("HVDVD_TS");
        QDir(disc.path()).mkpath("ADV_OBJ");
        const QString evo = path(disc, "HVDVD_TS/FEATURE_1.EVO");
        writeSampleEvo(evo.toStdString());
        QVERIFY(QFile::resize(evo, qint64(100) << 30));
        std::ofstream(path(disc, "ADV_OBJ/VPLST000.XPL").toStdString()) << testPlaylist();
        auto w = startedWindow();
        w->resize(w->minimumSize()); // as narrow as a user can make it
        const QSize startSize = w->size();
        w->WMDropFiles({evo});
        w->context().ui.eWorkdir = disc.path().toStdString();
        auto* cancel = control<QPushButton>(*w, "bCancel");
        atFirstPump(*w, [&] { cancel->click(); }); // the Read ticks the streams it met
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();

        QStringList seen;
        auto fits = [&] {
            for (const char* name : {"StatusPanel0", "StatusPanel1"}) {
                auto* panel = control<QLabel>(*w, name);
                seen << panel->text();
                if (QFontMetrics(panel->font()).horizontalAdvance(panel->text()) >
                    panel->contentsRect().width())
                    return false;
            }
            return true;
        };
        bool fitted = false;
        std::shared_ptr<BoxAnswer> answer;
        atFirstPump(*w, [&] {
            fitted = fits();
            answer = answerNextMessageBox(QMessageBox::Yes);
            cancel->click();
        });
        control<QPushButton>(*w, button.toLatin1().constData())->click();
        w->waitForJob();
        if (button == "bReadXPL") fitted = fits(); // no pass: the outcome
        // The status texts fit as it was; only the playlist's long captions widen it.
        QCOMPARE(w->height(), startSize.height());
        QVERIFY(w->width() >= startSize.width());
        QVERIFY2(fitted, qPrintable(seen.join(u'|')));
        QVERIFY2(seen.join(u'|').contains(button == "bReadXPL" ? "Title 'Main'" : "/102400 Mbytes"),
                 qPrintable(seen.join(u'|')));
    }

    // A caption is an output name: shown whole, the window widening for it; and a job
    // started from a button gives the focus back to it.
    void captionsShowWholeAndTheFocusComesBack() {
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "F.EVO").toStdString());
        auto w = startedWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->WMDropFiles({path(dir, "F.EVO")});
        auto* read = control<QPushButton>(*w, "bCheck");
        read->setFocus();
        read->click();
        w->waitForJob();
        QCOMPARE(QApplication::focusWidget(), read);

        const int before = w->width();
        auto& box = w->context().ui.cbAudio[0];
        box.caption = "LPCM.2ch.stream.02.Director Commentary.English";
        w->syncFromModel();
        auto* shown = w->findChild<StreamBox*>("cbAudio00");
        QVERIFY(w->width() > before);
        control<QTabWidget>(*w, "PageControl")->setCurrentIndex(2); // the Audio page
        QCOMPARE(shown->shownText(), QString::fromStdString(box.caption));
        QCOMPARE(w->minimumWidth(), w->width()); // no narrower, or it is cut again
    }

    // On a source that gives 10 MB/s the window answers all along: while a Read and a Demux
    // run, its thread is never held for 250 ms, some twenty times its longest wait here
    // (12 ms); a thread that ran the pass itself would wait 400 ms for each 4 MiB.
    void windowAnswersWhileASlowSourceIsRead() {
        QTemporaryDir dir;
        writeSampleEvo(path(dir, "SLOW.EVO").toStdString(), kLongVideo);
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "SLOW.EVO")});
        w->context().ui.eWorkdir = dir.path().toStdString();
        w->context().openFile = [](const std::string& p) -> std::unique_ptr<Stream> {
            return std::make_unique<SlowStream>(
                std::make_unique<FileStream>(p, FileStream::Mode::Read), nullptr, 0, 10e6);
        };
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        tick.start();
        for (const char* button : {"bCheck", "bDemux"}) {
            control<QPushButton>(*w, button)->click();
            w->waitForJob();
        }
        tick.stop();
        QVERIFY(clock.elapsed() > 2000); // twice 12 MiB at 10 MB/s
        QVERIFY2(longest < 250, qPrintable(QString::number(longest) + " ms"));
        QVERIFY(control<LogView>(*w, "reMessage")->plainText().contains("Done."));
    }

    // While a Demux runs, its selection and the options it reads cannot change: a click on
    // a box finds it disabled, and the file of a stream ticked at the start comes out whole.
    void selectionIsFixedWhileAJobRuns() {
        QTemporaryDir dir;
        const Bytes video = writeSampleEvo(path(dir, "MOVIE.EVO").toStdString(), kLongVideo);
        QDir(dir.path()).mkdir("out");
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "MOVIE.EVO")});
        QTest::keyClicks(control<QLineEdit>(*w, "eWorkdir"), path(dir, "out"));
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        auto* box = control<QCheckBox>(*w, "cbVideo0");
        QVERIFY(box->isEnabled() && box->isChecked());
        bool disabledDuringJob = false;
        atFirstPump(*w, [&] {
            disabledDuringJob = !box->isEnabled() &&
                                !control<QCheckBox>(*w, "cbFastCheck")->isEnabled() &&
                                !control<QLineEdit>(*w, "eWorkdir")->isEnabled();
            box->click(); // a disabled box takes no click
        });
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();
        QVERIFY(disabledDuringJob);
        QVERIFY(box->isEnabled() && box->isChecked());
        QVERIFY(control<QCheckBox>(*w, "cbFastCheck")->isEnabled());
        QCOMPARE(readFile(path(dir, "out/MOVIE.MPEG-2.stream.0.m2v").toStdString()), video);
    }

    // A stream that begins past what the fast check reads is named after "Done.", with the
    // window's own hint, when the Demux job meets it.
    void streamAfterTheFastCheckIsNamedAfterDone() {
        QTemporaryDir dir;
        const std::string evo = path(dir, "LATE.EVO").toStdString();
        writeSampleEvo(evo);
        Bytes tail = packHeader();
        Pes pes;
        pes.streamId = 0xBD;
        pes.pts = 90000;
        pes.subHeader = subHeaderAudio(0x82);
        pes.payload = Bytes(1500, 0x33);
        const Bytes packet = pesBytes(pes);
        tail.insert(tail.end(), packet.begin(), packet.end());
        const Bytes pad = paddingPacket(kPackSize - tail.size());
        tail.insert(tail.end(), pad.begin(), pad.end());
        {
            std::fstream f(evo, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(310 << 20); // a hole: the file stays small on disk
            f.write(reinterpret_cast<const char*>(tail.data()), static_cast<long>(tail.size()));
        }
        QDir(dir.path()).mkdir("out");
        auto w = startedWindow();
        w->WMDropFiles({path(dir, "LATE.EVO")});
        QTest::keyClicks(control<QLineEdit>(*w, "eWorkdir"), path(dir, "out"));
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();
        const QString log = control<LogView>(*w, "reMessage")->plainText();
        QVERIFY2(log.contains("Done.\nStream \"DD.stream.02\" (id 82) begins after the first 286 "
                              "Mbytes read by the fast check and was not written; read the whole "
                              "file to include it (untick Fast EVO checking)."),
                 qPrintable(log));
        QVERIFY(!QFileInfo::exists(path(dir, "out/LATE.DD.stream.02.ac3")));
    }

private:
    std::unique_ptr<SettingsSandbox> sandbox_;
};

QF_GUI_SUITE(WindowJobsTest, "window_jobs_test");

#include "window_jobs_test.moc"
