#include "LogView.h"

#include <vector>

#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include "engine/markup.h"

namespace qf {

namespace {

constexpr double kBasePointSize = 8;
constexpr QChar kBreakHere(0x200B); // zero-width space
constexpr QChar kNoBreak(0x2060);   // word joiner

QString withoutBreakMarks(QString text) {
    return text.remove(kBreakHere).remove(kNoBreak);
}

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
    // Where a line may break: at spaces, and after a path separator (a zero-width space
    // follows it). Between any other two characters a word joiner keeps them together,
    // so a file name is never split at a dot, a hyphen or a digit; only a name longer
    // than a whole line still breaks where it must.
    QString shown;
    shown.reserve(plain.size() * 2);
    std::vector<int> shownAt(static_cast<size_t>(plain.size()) + 1); // char -> shown char
    for (qsizetype i = 0; i < plain.size(); ++i) {
        shownAt[static_cast<size_t>(i)] = static_cast<int>(shown.size());
        shown += plain[i];
        if (plain[i].isHighSurrogate() && i + 1 < plain.size() && plain[i + 1].isLowSurrogate()) {
            ++i; // a character beyond the first plane: its two halves stay together
            shownAt[static_cast<size_t>(i)] = static_cast<int>(shown.size());
            shown += plain[i];
        }
        if (i + 1 >= plain.size()) break;
        const QChar next = plain[i + 1];
        if (plain[i] == u'/')
            shown += kBreakHere;
        else if (!plain[i].isSpace() && !next.isSpace() && !next.isMark())
            shown += kNoBreak;
    }
    shownAt.back() = static_cast<int>(shown.size());
    cursor.insertText(shown, base);
    ++lines_;

    // Span offsets are byte offsets into the UTF-8 plain text; map them to shown characters.
    auto toChars = [&](size_t bytes) {
        bytes = std::min(bytes, parsed.plain.size());
        const auto chars =
            QString::fromUtf8(parsed.plain.data(), static_cast<qsizetype>(bytes)).size();
        return shownAt[static_cast<size_t>(chars)];
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

QString LogView::plainText() const {
    return withoutBreakMarks(toPlainText());
}

QTextCharFormat LogView::formatAt(int position) const {
    const QString doc = toPlainText();
    int at = 0;
    for (int seen = -1; at < doc.size(); ++at) {
        if (doc[at] == kBreakHere || doc[at] == kNoBreak) continue;
        if (++seen == position) break;
    }
    QTextCursor c(document());
    c.setPosition(std::min(at + 1, static_cast<int>(doc.size()))); // the character before it
    return c.charFormat();
}

QMimeData* LogView::createMimeDataFromSelection() const {
    // What is copied is the log's text, not the marks that steer its line breaks.
    auto* copied = new QMimeData;
    copied->setText(withoutBreakMarks(textCursor().selection().toPlainText()));
    return copied;
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
