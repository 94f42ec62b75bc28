// The window's events: the start-up steps at the first activation, the placement at the
// first show, resize, close, files dragged onto the window, and the settings read at
// start-up and written at close.
#include <algorithm>
#include <utility>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWindow>

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
    if (placed_) return;
    placed_ = true;
    fitStatusTexts();
    restorePlacement();
    if (startedUp_) return;
    // Some window managers never activate a window started in the background; the
    // start-up steps must still run before anything is written back at close.
    QTimer::singleShot(0, this, &TfMain::FormActivate);
}

void TfMain::fitStatusTexts() {
    // The status bar lays out its panels only once they are shown, so this runs at the
    // first show, before the stored placement (if any) is applied.
    layout()->activate();
    StatusBar_->layout()->activate();
    int needed = 0;
    for (const auto& [state, detail] : longestStatusTexts(q(ctx_.ui.status[1])))
        needed = std::max(needed, StatusBar_->widthFor(state, detail));
    if (needed > width()) resize(needed, height());
    // Narrower, a job's progress would be cut off: the window keeps that width.
    setMinimumWidth(std::max(minimumWidth(), needed));
}

std::vector<std::pair<QString, QString>> TfMain::longestStatusTexts(const QString& startHint) {
    // A 100 GB title part (102,400 Mbytes) and a remaining time with two-digit hours (the
    // time wraps at a day); disc titles are named FEATURE_1.EVO and the like.
    const QString progress = QStringLiteral("102400/102400 Mbytes, Remaining time: 23:59:59");
    const QString name = QStringLiteral("FEATURE_1.EVO");
    return {{QStringLiteral("Ready"), startHint},
            {QStringLiteral("Reading ") + name + u' ', progress},
            {QStringLiteral("Demuxing ") + name, progress},
            {QStringLiteral("Rebuilding ") + name,
             QStringLiteral("Rebuilding ") + name + u' ' + progress},
            {QStringLiteral("Ready"), QStringLiteral("16777216/16777216 bytes")},
            {QStringLiteral("Ready"),
             QStringLiteral("No title in the playlist plays FEATURE_1_FEATURE_2")}};
}

namespace {

// Whether a user can still grab the window: the middle of its title bar lies on a screen.
bool titleBarOnScreen(const QRect& frame) {
    const QPoint grip(frame.center().x(), frame.top() + 2);
    const auto screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QScreen* s) { return s->availableGeometry().contains(grip); });
}

} // namespace

bool TfMain::placementUsable(const QRect& frame, const QSize& client) const {
    return client.width() >= minimumWidth() && client.height() >= minimumHeight() &&
           titleBarOnScreen(frame.isValid() ? frame : QRect(frame.topLeft(), client));
}

void TfMain::restorePlacement() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    const WindowPlacement p = readPlacement(store);
    QRect frame, normal;
    if (!p.geometry.isEmpty()) {
        if (readGeometryRecord(p.geometry, frame, normal) &&
            placementUsable(frame, normal.size()) && restoreGeometry(p.geometry))
            return;
    } else if (p.left && p.top && p.width && p.height) {
        // The older values: the frame's top-left and its outer size. The frame is not known
        // before the window manager has framed the window, so the window grows by its
        // frame once, and the client area may land where the frame was meant to be: the
        // title bar must be on the screen above it too.
        const QRect outer(*p.left, *p.top, *p.width, *p.height);
        if (placementUsable(outer.adjusted(0, -titleBarAllowance(), 0, 0), outer.size())) {
            resize(outer.size());
            windowHandle()->setFramePosition(outer.topLeft());
            if (p.state && *p.state == 2) setWindowState(windowState() | Qt::WindowMaximized);
            return;
        }
    }
    // Nothing stored, or a place no user could reach: the start-up size in the middle of
    // the primary screen. The frame's top-left is placed, so the title bar is on it; the
    // frame's size counts when the platform knows it before the window is shown.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QMargins margins = windowHandle()->frameMargins();
    QRect start(QPoint(), size().grownBy(margins));
    start.moveCenter(area.center());
    // Without the frame's size the client area may land at the point given.
    const int top = area.top() + (margins.isNull() ? titleBarAllowance() : 0);
    windowHandle()->setFramePosition(
        QPoint(std::max(start.left(), area.left()), std::max(start.top(), top)));
}

int TfMain::titleBarAllowance() const {
    return style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 8;
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
    if (jobRunning()) {
        // Closing under a running pass asks what Cancel asks; the window closes once the
        // job has stopped and closed its files (see guarded).
        event->ignore();
        if (!closePending_ && requestStop(true)) closePending_ = true;
        return;
    }
    if (startedUp_) RegWrite();
    event->accept();
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
    WindowPlacement placement;
    QStringList skipped;
    readSettings(store, ctx_, placement, &skipped);
    for (const QString& name : skipped) qWarning("Invalid data type for '%s'", qPrintable(name));
    // The placement was applied when the window was first shown.
}

void TfMain::RegWrite() {
    QSettings store(QString::fromLatin1(kSettingsOrganization),
                    QString::fromLatin1(kSettingsApplication));
    const QString error = writeSettings(store, ctx_, saveGeometry());
    // A store that cannot be written must not keep the window from closing.
    if (!error.isEmpty()) qWarning("%s", qPrintable(error));
}

} // namespace qf
