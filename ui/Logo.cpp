#include "Logo.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QFile>

#include <jpeglib.h>

static void initLogoResource() {
    Q_INIT_RESOURCE(quillfen);
}

namespace qf {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump back to
// the decoder instead of letting the library end the process.
struct ErrorTrap {
    jpeg_error_mgr pub;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void onFatal(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    info->err->format_message(info, trap->message);
    std::longjmp(trap->back, 1);
}

void onWarning(j_common_ptr, int) {}

struct RawPicture {
    unsigned char* pixels = nullptr; // malloc'd, width * height * 3 bytes
    unsigned width = 0, height = 0;
};

// Only plain C objects live in this frame, so the jump back leaves nothing behind
// except the pixel buffer, which is freed on that path.
bool decodeRaw(const unsigned char* data, unsigned long size, RawPicture& out, char* message) {
    jpeg_decompress_struct info;
    ErrorTrap trap;
    unsigned char* volatile pixels = nullptr;
    info.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = onFatal;
    trap.pub.emit_message = onWarning;
    trap.message[0] = '\0';
    if (setjmp(trap.back)) {
        std::strcpy(message, trap.message);
        jpeg_destroy_decompress(&info);
        std::free(pixels);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * 3;
    pixels = static_cast<unsigned char*>(std::malloc(stride * info.output_height));
    if (!pixels) {
        std::strcpy(message, "Out of memory");
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    out.pixels = pixels;
    out.width = info.output_width;
    out.height = info.output_height;
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray& data, QString* error) {
    RawPicture raw;
    char message[JMSG_LENGTH_MAX] = {};
    if (data.isEmpty()) {
        if (error) *error = QStringLiteral("Empty JPEG data");
        return {};
    }
    if (!decodeRaw(reinterpret_cast<const unsigned char*>(data.constData()),
                   static_cast<unsigned long>(data.size()), raw, message)) {
        if (error) *error = QString::fromLatin1(message);
        return {};
    }
    QImage image(static_cast<int>(raw.width), static_cast<int>(raw.height), QImage::Format_RGB888);
    const size_t stride = static_cast<size_t>(raw.width) * 3;
    for (unsigned y = 0; y < raw.height; ++y)
        std::memcpy(image.scanLine(static_cast<int>(y)), raw.pixels + stride * y, stride);
    std::free(raw.pixels);
    if (error) error->clear();
    return image;
}

namespace {

// The drawn picture, background see-through, at the size it is stored.
const QImage& logoSource() {
    static const QImage source = [] {
        initLogoResource();
        QFile file(QStringLiteral(":/quillfen/logo.jpg"));
        if (!file.open(QIODevice::ReadOnly)) return QImage();
        QImage image = decodeJpeg(file.readAll());
        if (image.isNull()) return image;
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = image.pixel(0, image.height() - 1);
        constexpr int kTolerance = 12; // JPEG noise around the flat background
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = line[x];
                if (std::abs(qRed(p) - qRed(key)) <= kTolerance &&
                    std::abs(qGreen(p) - qGreen(key)) <= kTolerance &&
                    std::abs(qBlue(p) - qBlue(key)) <= kTolerance)
                    line[x] = qRgba(0, 0, 0, 0);
            }
        }
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }();
    return source;
}

} // namespace

QImage logoImage(qreal devicePixelRatio) {
    const QImage& source = logoSource();
    if (source.isNull()) return source;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const QSize pixels = (QSizeF(kLogoSize) * ratio).toSize();
    QImage image = pixels == source.size()
                       ? source
                       : source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(ratio);
    return image;
}

LogoLabel::LogoLabel(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setPixmap(QPixmap::fromImage(logoImage(devicePixelRatioF())));
}

void LogoLabel::paintEvent(QPaintEvent* event) {
    // The ratio is known for sure only once the label is on a screen, and it changes
    // when the window moves to a screen of another ratio.
    const qreal ratio = devicePixelRatioF();
    if (!qFuzzyCompare(pixmap().devicePixelRatio(), ratio))
        setPixmap(QPixmap::fromImage(logoImage(ratio)));
    QLabel::paintEvent(event);
}

} // namespace qf
