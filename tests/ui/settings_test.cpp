// The settings store: what a close writes, what the next start reads back, and the
// values it must skip or leave alone.
#include <cstring>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "Settings.h"
#include "gui_support.h"
#include "jobs/mkv_mux.h"

using namespace qf;
using namespace qf::test;

namespace {
QSettings* openStore() {
    return new QSettings(QString::fromLatin1(kSettingsOrganization),
                         QString::fromLatin1(kSettingsApplication));
}
} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { sandbox_ = std::make_unique<SettingsSandbox>(); }
    void cleanup() { sandbox_.reset(); }

    void firstCloseWritesEveryValueWithItsType() {
        auto w = startedWindow();
        const QByteArray geometry = w->saveGeometry();
        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(w->close());
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(store->allKeys().size(), 24);
        QCOMPARE(store->value("Geometry").typeId(), int(QMetaType::QByteArray));
        QCOMPARE(store->value("Geometry").toByteArray(), geometry);
        for (const char* gone : {"WindowState", "Top", "Left", "Width", "Height"})
            QVERIFY2(!store->contains(gone), gone);
        QCOMPARE(store->value("TreeWidth").toInt(), 96);
        QCOMPARE(store->value("AudioExt").toString(), QString("mpa"));
        QCOMPARE(store->value("VideoExt").toString(), QString("mpv"));
        QCOMPARE(store->value("SubExt").toString(), QString("sup"));
        QCOMPARE(store->value("Workdir").toString(), QString());
        for (const char* on : {"Continue", "FastCheck", "CountFrames", "Details", "AutoRead"})
            QCOMPARE(store->value(on).toInt(), 1);
        QCOMPARE(store->value("AutoDemux").toInt(), 0);
        QCOMPARE(store->value("AutoRebuild").toInt(), 0);

        const QByteArray install = store->value("Install").toByteArray();
        QCOMPARE(store->value("Install").typeId(), int(QMetaType::QByteArray));
        QCOMPARE(install.size(), 8);
        double days = 0;
        std::memcpy(&days, install.constData(), 8); // the build machine is little-endian
        const double expected = static_cast<double>(QDate(1899, 12, 30).daysTo(before.date())) +
                                before.time().msecsSinceStartOfDay() / 86400000.0;
        QVERIFY2(days >= expected - 1e-6 && days < expected + 60.0 / 86400,
                 qPrintable(QString::number(days)));
    }

    void pgsIsStoredAfterTheEarlierSubtitleChoices() {
        {
            auto w = startedWindow();
            auto* format = control<QComboBox>(*w, "cmbSubFormat");
            format->setCurrentIndex(3);
            emit format->activated(3); // as a user's choice of "PGS"
            QVERIFY(w->close());
        }
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(store->value("SubFormat").toInt(), 3);
        auto w = startedWindow();
        QCOMPARE(control<QComboBox>(*w, "cmbSubFormat")->currentText(), QString("Subs: PGS"));
    }

    void outputChoicesAreStoredAndUsedByDemux() {
        QTemporaryDir dir;
        writeSampleEvo(QDir(dir.path()).filePath("MOVIE.EVO").toStdString());
        {
            auto w = startedWindow();
            auto* format = control<QComboBox>(*w, "cmbSubFormat");
            format->setCurrentIndex(2);
            emit format->activated(2); // as a user's choice of "VobSub"
            auto* pcm = control<QComboBox>(*w, "cmbPcm");
            pcm->setCurrentIndex(2);
            emit pcm->activated(2); // "PCM: WAV"
            for (const char* name : {"cbCodecExt", "cbChapters", "cbMkvmerge", "cbForcedOnly"})
                control<QCheckBox>(*w, name)->click();
            QVERIFY(w->close());
        }
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(store->value("SubFormat").toInt(), 2);
        QCOMPARE(store->value("Pcm").toInt(), 2);
        QCOMPARE(store->value("CodecExt").toInt(), 1);
        QCOMPARE(store->value("MkvmergeOptions").toInt(), 0);
        auto w = startedWindow();
        QCOMPARE(control<QComboBox>(*w, "cmbSubFormat")->currentText(), QString("Subs: VobSub"));
        QCOMPARE(control<QComboBox>(*w, "cmbPcm")->currentText(), QString("PCM: WAV"));
        QVERIFY(control<QCheckBox>(*w, "cbForcedOnly")->isChecked());
        QVERIFY(!control<QCheckBox>(*w, "cbDelayInName")->isChecked());
        w->WMDropFiles({QDir(dir.path()).filePath("MOVIE.EVO")});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        control<QPushButton>(*w, "bDemux")->click();
        w->waitForJob();
        // Codec extensions, VobSub for an HD DVD source, no options file.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList({"MOVIE.DD.stream.00.ac3", "MOVIE.DD.stream.01.ac3", "MOVIE.EVO",
                              "MOVIE.MPEG-2.stream.0.m2v", "MOVIE.Subpicture.00.idx",
                              "MOVIE.Subpicture.00.sub"}));
    }

    void makeMkvWritesTheMkvmergeFileAndLeavesTheMkv() {
        if (findMkvmerge().empty()) QSKIP("mkvmerge is not installed");
        QTemporaryDir dir;
        writeSampleEvo(QDir(dir.path()).filePath("MOVIE.EVO").toStdString());
        {
            auto w = startedWindow();
            auto* file = control<QCheckBox>(*w, "cbMkvmerge");
            auto* mkv = control<QCheckBox>(*w, "cbMakeMkv");
            file->click(); // the user's own choice: no options file
            mkv->click();
            QVERIFY(file->isChecked() && !file->isEnabled());
            w->WMDropFiles({QDir(dir.path()).filePath("MOVIE.EVO")});
            control<QPushButton>(*w, "bCheck")->click();
            w->waitForJob();
            // The video alone: the made-up AC-3 frames are nothing mkvmerge takes.
            control<QCheckBox>(*w, "cbAudio00")->click();
            control<QCheckBox>(*w, "cbAudio01")->click();
            control<QPushButton>(*w, "bDemux")->click();
            w->waitForJob();
            // What mkvmerge muxed is gone; the VobSub pair of the made-up subpicture, which
            // holds no whole unit, stays out of it and stays.
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                     QStringList({"MOVIE.EVO", "MOVIE.mkv", "MOVIE.Subpicture.00.idx",
                                  "MOVIE.Subpicture.00.sub"}));
            mkv->click();
            QVERIFY(!file->isChecked() && file->isEnabled());
            mkv->click();
            QVERIFY(w->close());
        }
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(store->value("MakeMkv").toInt(), 1);
        QCOMPARE(store->value("MkvmergeOptions").toInt(), 0);
        auto w = startedWindow();
        QVERIFY(control<QCheckBox>(*w, "cbMakeMkv")->isChecked());
        QVERIFY(!control<QCheckBox>(*w, "cbMkvmerge")->isEnabled());
    }

    void installStampCountsDaysSince1899() {
        const QByteArray stamp = installStamp(QDateTime(QDate(1899, 12, 31), QTime(12, 0)));
        QCOMPARE(stamp, QByteArray::fromHex("000000000000f83f")); // 1.5 days
    }

    void installIsWrittenOnlyOnce() {
        {
            std::unique_ptr<QSettings> store(openStore());
            store->setValue("Install", QByteArray("12345678"));
        }
        auto w = startedWindow();
        QVERIFY(w->close());
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(store->value("Install").toByteArray(), QByteArray("12345678"));
    }

    void valuesComeBackAtTheNextStart() {
        {
            auto w = startedWindow();
            auto* ext = control<QLineEdit>(*w, "eVideoExt");
            ext->selectAll();
            QTest::keyClicks(ext, "m2v");
            control<QCheckBox>(*w, "cbCountFr")->click();
            control<QRadioButton>(*w, "rbAutoRebuild")->click();
            QTest::keyClicks(control<QLineEdit>(*w, "eWorkdir"), "/tmp/out");
            w->WMDropFiles({"/disc/HVDVD_TS/FEATURE_1.EVO"});
            w->context().ui.treeWidth = 120;
            w->syncFromModel();
            QCOMPARE(control<QSplitter>(*w, "splXPL")->sizes().value(0), 120);
            w->resize(500, 420);
            w->move(30, 40);
            QTRY_COMPARE(w->width(), 500);
            QTRY_COMPARE(w->pos(), QPoint(30, 40));
            QVERIFY(w->close());
        }
        ScriptedDialogs* dialogs = nullptr;
        auto w = startedWindow(&dialogs);
        const auto& ui = w->context().ui;
        QCOMPARE(ui.eVideoExt, std::string("m2v"));
        QCOMPARE(control<QLineEdit>(*w, "eVideoExt")->text(), QString("m2v"));
        QVERIFY(!control<QCheckBox>(*w, "cbCountFr")->isChecked());
        QVERIFY(control<QCheckBox>(*w, "cbDetails")->isChecked());
        QVERIFY(control<QRadioButton>(*w, "rbAutoRebuild")->isChecked());
        QVERIFY(!ui.rbNoAuto);
        QCOMPARE(control<QLineEdit>(*w, "eWorkdir")->text(), QString("/tmp/out"));
        QCOMPARE(ui.treeWidth, 120);
        QCOMPARE(w->context().ui.EVOdir, std::string("/disc/HVDVD_TS/"));
        QCOMPARE(w->context().ui.XPLdir, std::string("/disc/ADV_OBJ/"));
        QTRY_COMPARE(w->width(), 500);
        QCOMPARE(w->height(), 420);
        QCOMPARE(w->pos(), QPoint(30, 40));
        // The file names themselves are not kept.
        QCOMPARE(control<QLineEdit>(*w, "eEVOfile")->text(), QString());
        // The folders are where the dialogs open.
        dialogs->answers = {"", ""};
        control<QToolButton>(*w, "bbEVO")->click();
        w->waitForJob();
        control<QToolButton>(*w, "bbXPL")->click();
        QCOMPARE(dialogs->folders, QStringList({"/disc/HVDVD_TS/", "/disc/ADV_OBJ/"}));
    }

    void wrongTypedValuesAreSkipped() {
        {
            std::unique_ptr<QSettings> store(openStore());
            store->setValue("TreeWidth", "wide");
            store->setValue("VideoExt", QStringList({"m2v", "mpv"}));
            store->setValue("AudioExt", "ac3");
            store->setValue("Details", 0);
            store->setValue("AutoRead", "yes");
        }
        auto w = startedWindow();
        const auto& ui = w->context().ui;
        QCOMPARE(ui.treeWidth, 96);
        QCOMPARE(ui.eVideoExt, std::string("mpv"));
        QCOMPARE(ui.eAudioExt, std::string("ac3"));
        QVERIFY(!ui.cbDetails);
        QVERIFY(ui.cbAutoRead);
        // The remaining start-up steps ran.
        QCOMPARE(control<QCheckBox>(*w, "cbVideo0")->text(), QString("No video stream"));

        QStringList skipped;
        WindowPlacement placement;
        std::unique_ptr<QSettings> store(openStore());
        readSettings(*store, w->context(), placement, &skipped);
        QCOMPARE(skipped, QStringList({"TreeWidth", "VideoExt", "AutoRead"}));
    }

    void autoFlagsSelectTheirButton_data() {
        QTest::addColumn<int>("demux");
        QTest::addColumn<int>("rebuild");
        QTest::addColumn<QString>("selected");
        QTest::newRow("demux") << 1 << 0 << "rbAutoDemux";
        QTest::newRow("both: rebuild is read last") << 1 << 1 << "rbAutoRebuild";
        QTest::newRow("none") << 0 << 0 << "rbNoAuto";
    }
    void autoFlagsSelectTheirButton() {
        QFETCH(int, demux);
        QFETCH(int, rebuild);
        QFETCH(QString, selected);
        {
            std::unique_ptr<QSettings> store(openStore());
            store->setValue("AutoDemux", demux);
            store->setValue("AutoRebuild", rebuild);
        }
        auto w = startedWindow();
        for (const char* name : {"rbNoAuto", "rbAutoDemux", "rbAutoRebuild"})
            QCOMPARE(control<QRadioButton>(*w, name)->isChecked(), selected == name);
    }

    void maximizedCloseKeepsTheNormalBounds() {
        QRect normal;
        {
            auto w = startedWindow();
            w->setGeometry(60, 50, 640, 480);
            QTRY_COMPARE(w->width(), 640);
            normal = w->geometry();
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            QVERIFY(w->close());
        }
        auto w = startedWindow();
        QTRY_VERIFY(w->isMaximized());
        w->showNormal();
        QTRY_COMPARE(w->geometry(), normal);
    }

    // The five values of older versions are applied once and replaced by the geometry
    // record; a place no user could reach, or a size below the smallest, gives the
    // start-up size in the middle of the screen.
    void placementFromOlderValuesOrTheMiddle_data() {
        QTest::addColumn<QVariantList>("stored"); // Left, Top, Width, Height
        QTest::addColumn<bool>("kept");
        QTest::newRow("older values") << QVariantList{30, 40, 500, 420} << true;
        QTest::newRow("title bar above the screen") << QVariantList{0, -120, 500, 420} << false;
        QTest::newRow("client at the top edge") << QVariantList{0, 0, 500, 420} << false;
        QTest::newRow("off to the right") << QVariantList{9000, 40, 500, 420} << false;
        QTest::newRow("one pixel") << QVariantList{30, 40, 1, 1} << false;
    }
    void placementFromOlderValuesOrTheMiddle() {
        QFETCH(QVariantList, stored);
        QFETCH(bool, kept);
        QSize startSize;
        {
            auto w = startedWindow(); // nothing stored: the middle of the screen
            startSize = w->size();
            const QRect area = w->screen()->availableGeometry();
            QTRY_VERIFY(std::abs(w->frameGeometry().center().x() - area.center().x()) <= 1);
            QVERIFY(area.contains(w->frameGeometry()));
        }
        {
            std::unique_ptr<QSettings> store(openStore());
            const char* names[] = {"Left", "Top", "Width", "Height"};
            for (int i = 0; i < 4; ++i) store->setValue(names[i], stored[i]);
            store->setValue("WindowState", 0);
        }
        auto w = startedWindow();
        if (kept) {
            QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(30, 40));
            QCOMPARE(w->size(), QSize(500, 420));
        } else {
            QTRY_COMPARE(w->size(), startSize);
            const QRect area = w->screen()->availableGeometry();
            QVERIFY(area.contains(w->frameGeometry()));
            QVERIFY(std::abs(w->frameGeometry().center().x() - area.center().x()) <= 1);
        }
        const QRect frame = w->frameGeometry();
        QVERIFY(w->close());
        std::unique_ptr<QSettings> store(openStore());
        QVERIFY(!store->contains("Top") && !store->contains("WindowState"));
        QRect storedFrame, normal;
        QVERIFY(readGeometryRecord(store->value("Geometry").toByteArray(), storedFrame, normal));
        QCOMPARE(storedFrame, frame);
        // An unreachable record is replaced the same way.
        store->setValue("Geometry", QByteArray("not a geometry record"));
        store.reset();
        auto again = startedWindow();
        QTRY_COMPARE(again->size(), startSize);
        QVERIFY(again->screen()->availableGeometry().contains(again->frameGeometry()));
    }

    void anUnwritableStoreDoesNotKeepTheWindowOpen() {
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, "/dev/null/settings");
        auto w = startedWindow();
        std::unique_ptr<QSettings> store(openStore());
        QCOMPARE(writeSettings(*store, w->context(), w->saveGeometry()),
                 QString("Failed to set data for 'Geometry'")); // the first value written
        QVERIFY(w->close());
    }

private:
    std::unique_ptr<SettingsSandbox> sandbox_;
};

QF_GUI_SUITE(SettingsTest, "settings_test");

#include "settings_test.moc"
