// Renders the window after a Read of the sample disc: the Status page with the log and
// the Audio page with the captioned boxes, side by side in one PNG. The picture goes to
// $QUILLFEN_SCREENSHOT when set (scripts/screenshot), else to a temporary folder.
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "gui_support.h"
#include "jobs/sample.h"

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
    void windowAfterARead() {
        SettingsSandbox sandbox;
        QTemporaryDir disc;
        const auto files = writeSampleDisc(disc.path().toStdString());
        auto w = startedWindow();
        w->resize(560, 460);
        QTRY_COMPARE(w->width(), 560);
        w->WMDropFiles({QString::fromStdString(files.front())});
        control<QPushButton>(*w, "bCheck")->click();

        auto* pages = control<QTabWidget>(*w, "PageControl");
        QCOMPARE(pages->currentIndex(), 0);
        const QImage status = w->grab().toImage();
        pages->setCurrentIndex(2);
        const QImage audio = w->grab().toImage();
        pages->setCurrentIndex(0);
        QVERIFY(countBluePixels(status) > 20); // the values logged in blue bold

        constexpr int kGap = 12;
        QImage both(status.width() + kGap + audio.width(),
                    std::max(status.height(), audio.height()), QImage::Format_RGB32);
        both.fill(Qt::white);
        QPainter painter(&both);
        painter.drawImage(0, 0, status);
        painter.drawImage(status.width() + kGap, 0, audio);
        painter.end();

        QTemporaryDir fallback;
        const QString out = qEnvironmentVariableIsSet("QUILLFEN_SCREENSHOT")
                                ? qEnvironmentVariable("QUILLFEN_SCREENSHOT")
                                : fallback.path() + "/window.png";
        QVERIFY2(both.save(out, "PNG"), qPrintable(out));
        qInfo("window picture written to %s", qPrintable(out));
    }
};

QF_GUI_SUITE(ScreenshotTest, "screenshot_test");

#include "screenshot_test.moc"
