#pragma once
// The picture at the foot of the window: a JPEG kept in the program's resources,
// decoded with libjpeg.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace qf {

// Decodes a baseline or progressive JPEG (grey or colour) into an RGB image. A damaged or
// foreign file gives a null image and, when asked, the decoder's message.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);

// The logo with its background (the colour of its bottom-left pixel, give or take the
// JPEG noise) made see-through, as the window shows it.
QImage logoImage();

} // namespace qf
