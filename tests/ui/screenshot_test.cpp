// Renders the window at its starting size for the README: the Status page after a Read
// of the sample disc, then the Audio page and the XPL page after Read XPL. The pictures
// go to the folder $QUILLFEN_SCREENSHOTS when set (scripts/screenshot), else to a
// temporary folder.
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "gui_support.h"
#include "samples/sample_disc.h"

using namespace qf;
using namespace qf::test;

namespace {

int countBluePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.blue() > 200 && c.red() < 60 && c.green() < 60;
        }
    return n;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowAfterAReadAndReadXpl() {
        SettingsSandbox sandbox;
        QTemporaryDir disc(QDir::tempPath() + "/sample-disc-XXXXXX"), fallback;
        const QString folder = qEnvironmentVariableIsSet("QUILLFEN_SCREENSHOTS")
                                   ? qEnvironmentVariable("QUILLFEN_SCREENSHOTS")
                                   : fallback.path();
        const auto files = writeSampleDisc(disc.path().toStdString());
        auto w = startedWindow();
        auto* pages = control<QTabWidget>(*w, "PageControl");
        QStringList written;
        auto save = [&](int page, const char* name) {
            pages->setCurrentIndex(page);
            QTest::qWait(50); // the page takes the window's size, the boxes their captions
            const QImage image = w->grab().toImage();
            const QString path = folder + "/" + name;
            if (image.save(path, "PNG")) written << path;
            return image;
        };

        w->WMDropFiles({QString::fromStdString(files.front())});
        control<QPushButton>(*w, "bCheck")->click();
        w->waitForJob();
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(countBluePixels(save(0, "status.png")) > 20); // values logged in blue bold

        control<QPushButton>(*w, "bReadXPL")->click();
        save(2, "audio.png");
        save(4, "xpl.png");
        QCOMPARE(written.size(), 3);
        qInfo("written: %s", qPrintable(written.join(u' ')));
    }
};

QF_GUI_SUITE(ScreenshotTest, "screenshot_test");

#include "screenshot_test.moc"
