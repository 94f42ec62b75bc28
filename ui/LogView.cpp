#include "LogView.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextBlock>
#include <QTextCursor>

#include "engine/markup.h"

namespace qf {

namespace {

constexpr double kBasePointSize = 8;

QColor fromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void clearStyles(QTextCharFormat& f) {
    f.setFontWeight(QFont::Normal);
    f.setFontItalic(false);
    f.setFontUnderline(false);
}

} // namespace

LogView::LogView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setAcceptDrops(false); // files dropped here are meant for the window
    // Long lines (advice, an error's reason) wrap between words, a path too long for a
    // line anywhere: nothing is out of sight to the side.
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUndoRedoEnabled(false);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSizeF(kBasePointSize);
    document()->setDefaultFont(f);
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::actionTriggered, this,
            [this, bar] { followNewest_ = bar->sliderPosition() >= bar->maximum(); });
}

void LogView::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    if (followNewest_) scrollToNewest();
}

void LogView::showEvent(QShowEvent* event) {
    QTextEdit::showEvent(event);
    if (followNewest_) scrollToNewest();
}

// A read-only text shows no cursor: with the focus, a frame inside its border says where
// the keys (arrows, Page Down, Ctrl+C) go.
void LogView::paintEvent(QPaintEvent* event) {
    QTextEdit::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(viewport());
    QStyleOptionFocusRect option;
    option.initFrom(viewport());
    option.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    option.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, viewport());
}

void LogView::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    viewport()->update();
}

void LogView::scrollToNewest() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QTextCharFormat LogView::baseFormat() const {
    QTextCharFormat f;
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(kBasePointSize);
    f.setFont(font);
    f.setForeground(palette().color(QPalette::Text));
    return f;
}

void LogView::appendMarked(const std::string& markedLine) {
    const MarkedLine parsed = parseMarkup(markedLine);
    const QTextCharFormat base = baseFormat();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // Every line ends with a line break: a new line starts a block of its own, except
    // the very first one, which fills the document's initial empty block.
    if (lines_ > 0) cursor.insertBlock(QTextBlockFormat(), base);
    const int lineStart = cursor.position();
    const QString plain = QString::fromStdString(parsed.plain);
    cursor.insertText(plain, base);
    ++lines_;

    // Span offsets are byte offsets into the UTF-8 plain text; map them to characters.
    auto toChars = [&](size_t bytes) {
        bytes = std::min(bytes, parsed.plain.size());
        return static_cast<int>(
            QString::fromUtf8(parsed.plain.data(), static_cast<qsizetype>(bytes)).size());
    };
    for (const Span& span : parsed.spans) {
        if (span.length == 0) continue;
        const int from = lineStart + toChars(span.start);
        const int to = lineStart + toChars(span.start + span.length);
        QTextCursor sel(document());
        sel.setPosition(from);
        sel.setPosition(to, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        switch (span.kind) {
        case Span::Kind::ClearStyles:
            clearStyles(f);
            break;
        case Span::Kind::AddBold:
            f.setFontWeight(QFont::Bold);
            break;
        case Span::Kind::AddItalic:
            f.setFontItalic(true);
            break;
        case Span::Kind::AddUnderline:
            f.setFontUnderline(true);
            break;
        case Span::Kind::Size:
            f.setFontPointSize(span.value);
            break;
        case Span::Kind::Colour:
            f.setForeground(fromBgr(span.value));
            break;
        case Span::Kind::BlueBold:
            f.setForeground(QColor(0, 0, 255));
            f.setFontWeight(QFont::Bold);
            break;
        case Span::Kind::Normal:
            clearStyles(f);
            f.setForeground(palette().color(QPalette::Text));
            f.setFontPointSize(kBasePointSize);
            break;
        }
        sel.mergeCharFormat(f);
    }

    // Keep the newest line in view.
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    followNewest_ = true;
    scrollToNewest();
}

void LogView::syncFrom(const std::vector<std::string>& log) {
    if (log.size() < lines_) clearLog();
    for (size_t i = lines_; i < log.size(); ++i) appendMarked(log[i]);
}

void LogView::clearLog() {
    clear();
    lines_ = 0;
}

} // namespace qf
