// The window's events: the start-up steps at the first activation, show, resize, close,
// the Enter key, files dragged onto the window, and the settings read at start-up and
// written at close.
#include <algorithm>
#include <utility>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include "Main.h"
#include "MainParts.h"
#include "Settings.h"
#include "StatusLine.h"
#include "model/window.h"

namespace qf {

namespace {

// The user's time format with the hours, minutes and seconds pattern "h:mm:ss".
TimeSettings localeTimeSettings() {
    TimeSettings ts;
    const QLocale locale;
    const QString format = locale.timeFormat(QLocale::LongFormat);
    for (QChar c : format) {
        if (c.isLetter() || c.isSpace() || c == u'\'') continue;
        if (c.unicode() < 0x80) ts.timeSeparator = static_cast<char>(c.unicode());
        break;
    }
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80)
        ts.decimalSeparator = static_cast<char>(point[0].unicode());
    return ts;
}

// The local files among dragged or dropped data.
QStringList localFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

} // namespace

void TfMain::FormActivate() {
    if (startedUp_) return;
    startedUp_ = true;
    guarded([this] {
        RegRead();
        Resetcbs(ctx_.ui);
        ctx_.timeSettings = localeTimeSettings();
    });
    if (!pendingChoice_.isEmpty()) WMDropFiles({std::exchange(pendingChoice_, QString())});
}

void TfMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    setAcceptDrops(true);
    if (startedUp_) return;
    fitStatusTexts();
    // Some window managers never activate a window started in the background; the
    // start-up steps must still run before anything is written back at close.
    QTimer::singleShot(0, this, &TfMain::FormActivate);
}

void TfMain::fitStatusTexts() {
    // The status bar lays out its panels only once they are shown, so this runs at the
    // first show, before the stored size (if any) is applied.
    layout()->activate();
    StatusBar_->layout()->activate();
    const QString progress = QStringLiteral("1392/6022 Mbytes, Remaining time: 0:00:00");
    const int needed =
        std::max({StatusBar_->widthFor(QStringLiteral("Ready"), q(ctx_.ui.status[1])),
                  StatusBar_->widthFor(QStringLiteral("Reading FEATURE_1.EVO "), progress),
                  StatusBar_->widthFor(QStringLiteral("Demuxing FEATURE_1.EVO"), progress)});
    if (needed > width()) resize(needed, height());
}

void TfMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfMain::FormResize() {
    if (!imLogo_) return;
    imLogo_->move(logoLeft(frameGeometry().width()), imLogo_->y());
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (ctx_.busy) {
        // Closing under a running pass: stop it first, close when the job has ended.
        ctx_.CancelFlag = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    if (startedUp_) RegWrite();
    event->accept();
}

void TfMain::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && bCheck_->isEnabled()) {
        bCheck_->click(); // the window's default button
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfMain::dragMoveEvent(QDragMoveEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    WMDropFiles(files);
}

void TfMain::RegRead() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    WindowPlacement p;
    QStringList skipped;
    readSettings(store, ctx_, p, &skipped);
    for (const QString& name : skipped) qWarning("Invalid data type for '%s'", qPrintable(name));
    // Stored sizes are outer sizes; the frame's share is what the window has now.
    const QSize frame = frameGeometry().size() - size();
    if (p.width || p.height)
        resize(p.width ? *p.width - frame.width() : width(),
               p.height ? *p.height - frame.height() : height());
    if (p.top || p.left) move(p.left ? *p.left : x(), p.top ? *p.top : y());
    if (p.state == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    else if (p.state == 1)
        setWindowState(windowState() | Qt::WindowMinimized);
}

void TfMain::RegWrite() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    const int state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    const QString error = writeSettings(store, ctx_, state, frameGeometry());
    // A store that cannot be written must not keep the window from closing.
    if (!error.isEmpty()) qWarning("%s", qPrintable(error));
}

} // namespace qf
