#pragma once
// reMessage: the read-only rich-text log of the Status page. Lines arrive marked up
// (see engine/markup.h) and are shown with their bold, italic, underline, colour and
// size runs; long lines wrap at word boundaries, and the newest line is kept in view.
#include <string>
#include <vector>

#include <QTextEdit>

namespace qf {

class LogView : public QTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);

    // Appends one marked-up line.
    void appendMarked(const std::string& markedLine);
    // Brings the view in line with the model's log: lines the view lacks are appended,
    // and a log that got shorter (Clear) is shown anew.
    void syncFrom(const std::vector<std::string>& log);
    // Removes every line; the next one starts at position 0.
    void clearLog();
    size_t lineCount() const { return lines_; }
    // The log's text as its lines say it (toPlainText() also holds the invisible marks
    // that steer where lines break).
    QString plainText() const;
    // The format of the character at `position` of plainText().
    QTextCharFormat formatAt(int position) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    QTextCharFormat baseFormat() const;
    void scrollToNewest();
    size_t lines_ = 0;
    // The newest line stays in view until the user scrolls away from it; a resize while
    // the page was hidden must not leave it below the visible part.
    bool followNewest_ = true;
};

} // namespace qf
