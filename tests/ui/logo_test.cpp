// The logo picture: decoded through libjpeg, its background made see-through, and
// damaged data refused without harm.
#include <QBuffer>
#include <QFile>
#include <QtTest>

#include "Logo.h"
#include "gui_support.h"

using namespace qf;

class LogoTest : public QObject {
    Q_OBJECT
private slots:
    void logoDecodes() {
        const QImage logo = logoImage();
        QCOMPARE(logo.size(), QSize(125, 31));
        QCOMPARE(qAlpha(logo.pixel(0, 30)), 0);   // background corner
        QCOMPARE(qAlpha(logo.pixel(8, 15)), 255); // the disc
    }

    // For a screen of two device pixels to a pixel the logo is drawn from the larger
    // picture, not blown up from the small one.
    void logoForTheDevicePixelRatio() {
        const QImage small = logoImage(1), sharp = logoImage(2);
        QCOMPARE(small.size(), QSize(125, 31));
        QCOMPARE(sharp.size(), QSize(250, 62));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QCOMPARE(logoImage(3).size(), QSize(375, 93));
        const QImage blown =
            small.scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        int differing = 0;
        for (int y = 0; y < sharp.height(); ++y)
            for (int x = 0; x < sharp.width(); ++x)
                differing += qGray(sharp.pixel(x, y)) / 32 != qGray(blown.pixel(x, y)) / 32;
        QVERIFY2(differing > sharp.width() * sharp.height() / 50,
                 qPrintable(QString::number(differing)));

        LogoLabel label;
        label.show();
        QVERIFY(QTest::qWaitForWindowExposed(&label));
        QTRY_COMPARE(label.pixmap().devicePixelRatio(), label.devicePixelRatioF());
        QCOMPARE(label.pixmap().deviceIndependentSize().toSize(), QSize(125, 31));
    }

    void decodesWhatAnotherEncoderWrote() {
        QImage source(40, 20, QImage::Format_RGB888);
        source.fill(QColor(200, 30, 60));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (!source.save(&buffer, "JPEG", 95)) QSKIP("Qt's JPEG writer is not installed");
        QString error;
        const QImage decoded = decodeJpeg(jpeg, &error);
        QVERIFY2(!decoded.isNull(), qPrintable(error));
        QCOMPARE(decoded.size(), QSize(40, 20));
        const QColor c = decoded.pixelColor(20, 10);
        QVERIFY(std::abs(c.red() - 200) < 8 && std::abs(c.green() - 30) < 8 &&
                std::abs(c.blue() - 60) < 8);
    }

    void damagedDataGivesANullImage() {
        QFile file(":/quillfen/logo.jpg");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        QString error;
        QVERIFY(decodeJpeg(whole.left(40), &error).isNull() || !error.isEmpty());
        QVERIFY(decodeJpeg(QByteArray("not a picture at all"), &error).isNull());
        QVERIFY(!error.isEmpty());
        QVERIFY(decodeJpeg(QByteArray(), &error).isNull());
    }
};

QF_GUI_SUITE(LogoTest, "logo_test");

#include "logo_test.moc"
