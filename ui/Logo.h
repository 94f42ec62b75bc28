#pragma once
// The picture at the foot of the window: a JPEG kept in the program's resources,
// decoded with libjpeg, drawn three times as large as it is shown.
#include <QByteArray>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QString>

namespace qf {

// Decodes a baseline or progressive JPEG (grey or colour) into an RGB image. A damaged or
// foreign file gives a null image and, when asked, the decoder's message.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);

// The size the logo is shown at, in the window's pixels.
inline constexpr QSize kLogoSize(125, 31);

// The logo with its background (the colour of its bottom-left pixel, give or take the
// JPEG noise) made see-through, as the window shows it: kLogoSize times the device pixel
// ratio, in device pixels, marked with that ratio.
QImage logoImage(qreal devicePixelRatio = 1);

// imLogo: shows the logo made for the pixel ratio of the screen it is on, also after
// moving to another screen.
class LogoLabel : public QLabel {
public:
    explicit LogoLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace qf
